// The registry script and the type library's registration, written into
// HKEY_CLASSES_ROOT of the registry store.
#include <string>
#include <vector>

#include "brixon/BrixonModule.h"
#include "brixon/IBRIXON.h"
#include "platform/com/Creation.h"
#include "platform/com/Hosting.h"
#include "platform/com/TypeDescription.h"

namespace qvx::brixon {
namespace {

using namespace platform;

constexpr const char* kClassName = "BRIXON Class";
constexpr const char* kLibraryHelp = "BRIXON 1.0 Type Library";
constexpr const char* kLibraryVersion = "1.0";
// The automation marshaller every dual interface names as its proxy.
constexpr const char* kAutomationProxy = "{00020424-0000-0000-C000-000000000046}";

struct Entry {
  std::string key;
  const char* name;  // nullptr: the default value; with value nullptr, the key alone
  std::string value;
  bool hasValue;
};

Entry Value(std::string key, const char* name, std::string value) {
  return {std::move(key), name, std::move(value), true};
}
Entry Key(std::string key) { return {std::move(key), nullptr, {}, false}; }

std::string ClassKey() { return "CLSID\\" + GuidToString(CLSID_BRIXON); }
std::string LibraryKey() { return "TypeLib\\" + GuidToString(LIBID_BRIXONLib); }
std::string InterfaceKey() { return "Interface\\" + GuidToString(IID_IBRIXON); }

std::string DirectoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::vector<Entry> ScriptEntries(const std::string& modulePath) {
  const std::string clsid = GuidToString(CLSID_BRIXON);
  const std::string classKey = ClassKey();
  return {
      Value(kVersionedProgId, nullptr, kClassName),
      Value(std::string(kVersionedProgId) + "\\CLSID", nullptr, clsid),
      Value(kProgId, nullptr, kClassName),
      Value(std::string(kProgId) + "\\CLSID", nullptr, clsid),
      Value(std::string(kProgId) + "\\CurVer", nullptr, kVersionedProgId),
      Value(classKey, nullptr, kClassName),
      Value(classKey + "\\ProgID", nullptr, kVersionedProgId),
      Value(classKey + "\\VersionIndependentProgID", nullptr, kProgId),
      Key(classKey + "\\Programmable"),
      Value(classKey + "\\InprocServer32", nullptr, modulePath),
      Value(classKey + "\\InprocServer32", "ThreadingModel", "Apartment"),
      Value(classKey + "\\TypeLib", nullptr, GuidToString(LIBID_BRIXONLib)),
      Key(classKey + "\\Implemented Categories\\" + GuidToString(CATID_SafeForScripting)),
  };
}

// What RegisterTypeLib writes. The platform subkey of the locale is named
// after this platform ("linux") as Windows names its own ("win32", "win64").
std::vector<Entry> TypeLibEntries(const std::string& modulePath) {
  const std::string version = LibraryKey() + "\\" + kLibraryVersion;
  const std::string interfaceKey = InterfaceKey();
  return {
      Value(version, nullptr, kLibraryHelp),
      Value(version + "\\0\\linux", nullptr, modulePath),
      Value(version + "\\FLAGS", nullptr, "0"),
      Value(version + "\\HELPDIR", nullptr, DirectoryOf(modulePath)),
      Value(interfaceKey, nullptr, "IBRIXON"),
      Value(interfaceKey + "\\ProxyStubClsid", nullptr, kAutomationProxy),
      Value(interfaceKey + "\\ProxyStubClsid32", nullptr, kAutomationProxy),
      Value(interfaceKey + "\\TypeLib", nullptr, GuidToString(LIBID_BRIXONLib)),
      Value(interfaceKey + "\\TypeLib", "Version", kLibraryVersion),
  };
}

LONG Write(const Entry& entry) {
  HKEY key = nullptr;
  LONG result = RegCreateClassesKey(entry.key.c_str(), KEY_ALL_ACCESS, &key, nullptr);
  if (result != static_cast<LONG>(ERROR_SUCCESS)) return result;
  if (entry.hasValue) {
    result = RegSetValueEx(key, entry.name, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(entry.value.c_str()),
                           static_cast<DWORD>(entry.value.size() + 1));
  }
  RegCloseKey(key);
  return result;
}

HRESULT WriteAll(const std::vector<Entry>& entries) {
  for (const Entry& entry : entries) {
    const LONG result = Write(entry);
    if (result != static_cast<LONG>(ERROR_SUCCESS)) {
      return HRESULT_FROM_WIN32(static_cast<DWORD>(result));
    }
  }
  return S_OK;
}

// A key that is not there is removed already.
LONG Remove(const std::string& key) {
  const LONG result = RegDeleteClassesTree(key.c_str());
  return result == static_cast<LONG>(ERROR_FILE_NOT_FOUND) ? static_cast<LONG>(ERROR_SUCCESS)
                                                           : result;
}

}  // namespace

HRESULT RegisterServer(const std::string& modulePath) {
  if (modulePath.empty() || modulePath.front() != '/') return E_INVALIDARG;
  // The class key is rewritten from scratch, so nothing of an older
  // registration survives under it.
  const LONG removed = Remove(ClassKey());
  if (removed != static_cast<LONG>(ERROR_SUCCESS)) {
    return HRESULT_FROM_WIN32(static_cast<DWORD>(removed));
  }
  const HRESULT hr = WriteAll(ScriptEntries(modulePath));
  return FAILED(hr) ? hr : WriteAll(TypeLibEntries(modulePath));
}

HRESULT UnregisterServer() {
  // "CLSID" itself is shared by every class and stays.
  LONG first = static_cast<LONG>(ERROR_SUCCESS);
  for (const std::string& key : {std::string(kVersionedProgId), std::string(kProgId), ClassKey(),
                                 LibraryKey(), InterfaceKey()}) {
    const LONG result = Remove(key);
    if (first == static_cast<LONG>(ERROR_SUCCESS)) first = result;
  }
  return first == static_cast<LONG>(ERROR_SUCCESS) ? S_OK
                                                   : HRESULT_FROM_WIN32(static_cast<DWORD>(first));
}

HRESULT LoadRegisteredTypeLib(ITypeLib** library) {
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
