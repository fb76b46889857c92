// The class factory of CBRIXON and the module's lock count.
#include <atomic>
#include <memory>
#include <new>

#include "Brixon.h"

namespace qvx::brixon {
namespace {

using namespace platform;

// Objects of several browser threads share the module: the count is.
std::atomic<long> gModuleLocks{0};

class CClassFactory final : public IClassFactory {
 public:
  explicit CClassFactory(ReaderAccessFactory readers) : m_readers(std::move(readers)) {}
  CClassFactory(const CClassFactory&) = delete;
  CClassFactory& operator=(const CClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    CBRIXON* brixon = nullptr;
    try {
      brixon = new CBRIXON(outer, m_readers);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    brixon->InnerAddRef();
    const HRESULT hr = brixon->InnerQueryInterface(riid, object);
    brixon->InnerRelease();  // a failed query destroys it here
    return hr;
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock != 0) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }

 private:
  ReaderAccessFactory m_readers;
  std::atomic<ULONG> m_references{1};
};

}  // namespace

void LockModule() { ++gModuleLocks; }
void UnlockModule() { --gModuleLocks; }
long ModuleLockCount() { return gModuleLocks.load(); }

IClassFactory* CreateClassFactory(ReaderAccessFactory readers) {
  return new (std::nothrow) CClassFactory(std::move(readers));
}

}  // namespace qvx::brixon
