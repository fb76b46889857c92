// HKEY_CLASSES_ROOT in the Linux layer's classes store, and BRIXONLib's
// registration written there the way RegisterTypeLib writes it on Windows.
#include "ClassesRegistry.h"

#include <string>
#include <vector>

#include "brixon/BrixonModule.h"
#include "brixon/IBRIXON.h"
#include "platform/System.h"
#include "platform/com/Creation.h"
#include "platform/com/TypeDescription.h"

namespace qvx::brixon {
namespace {

using namespace platform;

constexpr const char* kLibraryHelp = "BRIXON 1.0 Type Library";
constexpr const char* kLibraryVersion = "1.0";
// The automation marshaller every dual interface names as its proxy.
constexpr const char* kAutomationProxy = "{00020424-0000-0000-C000-000000000046}";

std::string LibraryKey() { return "TypeLib\\" + GuidToString(LIBID_BRIXONLib); }
std::string InterfaceKey() { return "Interface\\" + GuidToString(IID_IBRIXON); }

std::string DirectoryOf(const std::string& path) {
  const std::string::size_type separator = path.rfind(kPathSeparator);
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

// What RegisterTypeLib writes. The platform subkey of the locale is named
// after this platform ("linux") as Windows names its own ("win32", "win64").
std::vector<ClassesEntry> TypeLibEntries(const std::string& modulePath) {
  const std::string version = LibraryKey() + "\\" + kLibraryVersion;
  const std::string interfaceKey = InterfaceKey();
  return {
      ClassesValue(version, nullptr, kLibraryHelp),
      ClassesValue(version + "\\0\\linux", nullptr, modulePath),
      ClassesValue(version + "\\FLAGS", nullptr, "0"),
      ClassesValue(version + "\\HELPDIR", nullptr, DirectoryOf(modulePath)),
      ClassesValue(interfaceKey, nullptr, "IBRIXON"),
      ClassesValue(interfaceKey + "\\ProxyStubClsid", nullptr, kAutomationProxy),
      ClassesValue(interfaceKey + "\\ProxyStubClsid32", nullptr, kAutomationProxy),
      ClassesValue(interfaceKey + "\\TypeLib", nullptr, GuidToString(LIBID_BRIXONLib)),
      ClassesValue(interfaceKey + "\\TypeLib", "Version", kLibraryVersion),
  };
}

}  // namespace

bool IsFullPath(const std::string& path) { return !path.empty() && path.front() == kPathSeparator; }

LONG CreateClassesKey(const std::string& key, HKEY* result) {
  return RegCreateClassesKey(key.c_str(), KEY_ALL_ACCESS, result, nullptr);
}

LONG DeleteClassesTree(const std::string& key) { return RegDeleteClassesTree(key.c_str()); }

HRESULT RegisterBrixonTypeLib(const std::string& modulePath) {
  return WriteClassesEntries(TypeLibEntries(modulePath));
}

HRESULT UnregisterBrixonTypeLib() {
  LONG first = static_cast<LONG>(ERROR_SUCCESS);
  for (const std::string& key : {LibraryKey(), InterfaceKey()}) {
    const LONG result = RemoveClassesKey(key);
    if (first == static_cast<LONG>(ERROR_SUCCESS)) first = result;
  }
  return first == static_cast<LONG>(ERROR_SUCCESS) ? S_OK
                                                   : HRESULT_FROM_WIN32(static_cast<DWORD>(first));
}

HRESULT LoadBrixonTypeLib(ITypeLib** library) {
  if (library == nullptr) return E_POINTER;
  *library = nullptr;
  HKEY key = nullptr;
  const std::string version = LibraryKey() + "\\" + kLibraryVersion;
  if (RegOpenClassesKey(version.c_str(), KEY_QUERY_VALUE, &key) !=
      static_cast<LONG>(ERROR_SUCCESS)) {
    return TYPE_E_LIBNOTREGISTERED;
  }
  RegCloseKey(key);
  return CreateTypeLibFromDescription(&BrixonTypeLibrary(), library);
}

}  // namespace qvx::brixon
