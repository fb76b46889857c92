// The module's four exports (the version script on Linux and the .def file
// on Windows keep everything else inside).
#include <string>

#include "ModulePath.h"
#include "brixon/BrixonModule.h"
#include "brixon/IBRIXON.h"

using namespace platform;

extern "C" HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != qvx::brixon::CLSID_BRIXON) return CLASS_E_CLASSNOTAVAILABLE;
  IClassFactory* factory = qvx::brixon::ProcessClassFactory();
  return factory != nullptr ? factory->QueryInterface(riid, object) : E_OUTOFMEMORY;
}

extern "C" HRESULT STDMETHODCALLTYPE DllCanUnloadNow() {
  return qvx::brixon::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDMETHODCALLTYPE DllRegisterServer() {
  const std::string path = qvx::brixon::ModulePath();
  return path.empty() ? E_UNEXPECTED : qvx::brixon::RegisterServer(path);
}

extern "C" HRESULT STDMETHODCALLTYPE DllUnregisterServer() {
  return qvx::brixon::UnregisterServer();
}
