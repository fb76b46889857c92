// HKEY_CLASSES_ROOT is the system's; oleaut32 loads BRIXONLib from the
// module's own TYPELIB resource to register it, and from its registration
// for the object.
#include "ClassesRegistry.h"

#include <string>

#include "brixon/BrixonModule.h"
#include "brixon/IBRIXON.h"
#include "platform/System.h"
#include "platform/com/Bstr.h"
#include "platform/com/GuidText.h"

namespace qvx::brixon {
namespace {

using namespace platform;

HRESULT LoadFromModule(const std::string& modulePath, ITypeLib** library) {
  const CBstr path(AnsiToBstr(modulePath));
  if (path.Get() == nullptr) return E_OUTOFMEMORY;
  return LoadTypeLibEx(path, REGKIND_NONE, library);
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

// "C:\dir\file" or a share, "\\server\share\file".
bool IsFullPath(const std::string& path) {
  if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && path[2] == kPathSeparator) {
    return true;
  }
  return path.size() >= 2 && path[0] == kPathSeparator && path[1] == kPathSeparator;
}

LONG CreateClassesKey(const std::string& key, HKEY* result) {
  return RegCreateKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, result, nullptr);
}

LONG DeleteClassesTree(const std::string& key) {
  return RegDeleteTree(HKEY_CLASSES_ROOT, key.c_str());
}

// Registered under the path InprocServer32 names: LoadTypeLibEx's own
// registration would write the path it resolved, which under Wine carries
// the "\\?\" prefix.
HRESULT RegisterBrixonTypeLib(const std::string& modulePath) {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadFromModule(modulePath, &library);
  if (FAILED(hr)) return hr;
  CBstr path(AnsiToBstr(modulePath));
  hr = path.Get() != nullptr ? RegisterTypeLib(library, path, nullptr) : E_OUTOFMEMORY;
  library->Release();
  return hr;
}

HRESULT UnregisterBrixonTypeLib() {
  // UnRegisterTypeLib fails for a library that is not registered; that one
  // is removed already.
  const std::string version = "TypeLib\\" + GuidToString(LIBID_BRIXONLib) + "\\1.0";
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, version.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return S_OK;
  }
  RegCloseKey(key);
  // Registered under the module's own platform: "win32" or "win64".
  const SYSKIND platform = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  return UnRegisterTypeLib(LIBID_BRIXONLib, 1, 0, LANG_NEUTRAL, platform);
}

// From the registration, as script's late binding finds it: without one
// the late-bound calls fail and early-bound ones still work.
HRESULT LoadBrixonTypeLib(ITypeLib** library) {
  if (library == nullptr) return E_POINTER;
  *library = nullptr;
  return LoadRegTypeLib(LIBID_BRIXONLib, 1, 0, LANG_NEUTRAL, library);
}

}  // namespace qvx::brixon
