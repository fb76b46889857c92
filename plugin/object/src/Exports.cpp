// The module's four exports (the version script keeps everything else
// inside).
#include <limits.h>

#include <string>

#include "brixon/BrixonModule.h"
#include "brixon/IBRIXON.h"
#include "platform/Module.h"

using namespace platform;

namespace {

const char kInsideThisModule = 0;

// The module's full path: what InprocServer32 must name.
std::string ModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleFromAddress(&kInsideThisModule, &module)) return {};
  char path[PATH_MAX];
  return GetModuleFileName(module, path, sizeof path) != 0 ? std::string(path) : std::string();
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
