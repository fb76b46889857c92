// CLSIDFromProgID and CoCreateInstance for in-process servers.
#include <dlfcn.h>

#include "platform/com/Bstr.h"
#include "platform/com/Creation.h"

namespace platform {
namespace {

constexpr DWORD kErrorModNotFound = 126;

thread_local unsigned tInitializeCount = 0;

bool ClassIdOfKey(const std::string& key, CLSID* clsid) {
  std::string text;
  return RegQueryClassesString((key + "\\CLSID").c_str(), nullptr, &text) &&
         GuidFromString(text.c_str(), clsid);
}

}  // namespace

HRESULT CoInitialize(void* /*reserved*/) { return tInitializeCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (tInitializeCount > 0) {
    --tInitializeCount;
  }
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
  if (progId == nullptr || clsid == nullptr) {
    return E_INVALIDARG;
  }
  // ProgIDs are ASCII names; anything else cannot be registered.
  std::string name;
  for (const OLECHAR* c = progId; *c != 0; ++c) {
    if (*c < 0x21 || *c > 0x7E || *c == u'\\') {
      return CO_E_CLASSSTRING;
    }
    name += static_cast<char>(*c);
  }
  if (name.empty()) {
    return CO_E_CLASSSTRING;
  }
  if (ClassIdOfKey(name, clsid)) {
    return S_OK;
  }
  std::string current;
  if (RegQueryClassesString((name + "\\CurVer").c_str(), nullptr, &current) && !current.empty() &&
      current.find('\\') == std::string::npos && ClassIdOfKey(current, clsid)) {
    return S_OK;
  }
  return CO_E_CLASSSTRING;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* /*reserved*/, REFIID riid,
                         void** object) {
  if (object == nullptr) {
    return E_INVALIDARG;
  }
  *object = nullptr;
  if ((context & CLSCTX_INPROC_SERVER) == 0) {
    return REGDB_E_CLASSNOTREG;
  }
  std::string module;
  const std::string key = "CLSID\\" + GuidToString(clsid) + "\\InprocServer32";
  if (!RegQueryClassesString(key.c_str(), nullptr, &module) || module.empty()) {
    return REGDB_E_CLASSNOTREG;
  }
  // Never closed: objects and factories of the module may outlive any
  // caller's view of them.
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    return HRESULT_FROM_WIN32(kErrorModNotFound);
  }
  void* entry = ::dlsym(handle, kDllGetClassObjectName);
  if (entry == nullptr) {
    return CO_E_ERRORINDLL;
  }
  auto getClassObject = reinterpret_cast<DllGetClassObjectFunction>(entry);
  return getClassObject(clsid, riid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) {
  if (object == nullptr) {
    return E_POINTER;
  }
  *object = nullptr;
  if (outer != nullptr && riid != IID_IUnknown) {
    return E_INVALIDARG;
  }
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) {
    return hr;
  }
  if (factory == nullptr) {
    return E_UNEXPECTED;
  }
  hr = factory->CreateInstance(outer, riid, object);
  factory->Release();
  return hr;
}

}  // namespace platform
