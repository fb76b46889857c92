// The module's four exports (the version script keeps everything else
// inside).
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <string>

#include "brixon/BrixonModule.h"
#include "brixon/IBRIXON.h"

using namespace platform;

namespace {

const char kInsideThisModule = 0;

// The module's full path: what InprocServer32 must name.
std::string ModulePath() {
  Dl_info info{};
  if (::dladdr(&kInsideThisModule, &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  char resolved[PATH_MAX];
  return ::realpath(info.dli_fname, resolved) != nullptr ? std::string(resolved)
                                                         : std::string();
}

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != qvx::brixon::CLSID_BRIXON) return CLASS_E_CLASSNOTAVAILABLE;
  IClassFactory* factory = qvx::brixon::ProcessClassFactory();
  return factory != nullptr ? factory->QueryInterface(riid, object) : E_OUTOFMEMORY;
}

extern "C" HRESULT DllCanUnloadNow() {
  return qvx::brixon::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT DllRegisterServer() {
  const std::string path = ModulePath();
  return path.empty() ? E_UNEXPECTED : qvx::brixon::RegisterServer(path);
}

extern "C" HRESULT DllUnregisterServer() { return qvx::brixon::UnregisterServer(); }
