// A minimal in-process server: one aggregatable class behind
// DllGetClassObject.
#include <atomic>
#include <new>

#include "TestServer.h"
#include "platform/com/Aggregation.h"

using namespace platform;
using namespace qvx::testing;

namespace {

std::atomic<long> gLiveObjects{0};

class CThing final : public ITestThing {
 public:
  explicit CThing(IUnknown* outer) : m_outer(outer != nullptr ? outer : &m_inner) {
    ++gLiveObjects;
  }
  ~CThing() { --gLiveObjects; }
  CThing(const CThing&) = delete;
  CThing& operator=(const CThing&) = delete;

  HRESULT GetValue(LONG* value) override {
    *value = 42;
    return S_OK;
  }
  // The interface's IUnknown is the outer object's (this object's own
  // inner one when not aggregated).
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return m_outer->QueryInterface(riid, object);
  }
  ULONG AddRef() override { return m_outer->AddRef(); }
  ULONG Release() override { return m_outer->Release(); }

  HRESULT InnerQueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown) {
      *object = &m_inner;
      InnerAddRef();
      return S_OK;
    }
    if (riid == IID_ITestThing) {
      *object = static_cast<ITestThing*>(this);
      AddRef();  // through the outer object when aggregated
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG InnerAddRef() { return ++m_references; }
  ULONG InnerRelease() {
    const ULONG left = --m_references;
    if (left == 0) {
      delete this;
    }
    return left;
  }

 private:
  CInnerUnknown<CThing> m_inner{this};
  IUnknown* m_outer;
  ULONG m_references = 0;
};

class CFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }  // static object
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    *object = nullptr;
    if (outer != nullptr && riid != IID_IUnknown) {
      return CLASS_E_NOAGGREGATION;
    }
    auto* thing = new (std::nothrow) CThing(outer);
    if (thing == nullptr) {
      return E_OUTOFMEMORY;
    }
    thing->InnerAddRef();
    const HRESULT hr = thing->InnerQueryInterface(riid, object);
    thing->InnerRelease();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

CFactory gFactory;

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid,
                                                                            REFIID riid,
                                                                            void** object) {
  if (clsid != CLSID_TestThing) {
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return gFactory.QueryInterface(riid, object);
}

extern "C" __attribute__((visibility("default"))) long QvxTestServerLiveObjects() {
  return gLiveObjects.load();
}
