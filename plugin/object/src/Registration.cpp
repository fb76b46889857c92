// The registry script under HKEY_CLASSES_ROOT, the same on both systems;
// the type library's registration is each system's own (ClassesRegistry.h).
#include <string>
#include <vector>

#include "ClassesRegistry.h"
#include "brixon/BrixonModule.h"
#include "brixon/IBRIXON.h"
#include "platform/com/Hosting.h"

namespace qvx::brixon {
namespace {

using namespace platform;

constexpr const char* kClassName = "BRIXON Class";

std::string ClassKey() { return "CLSID\\" + GuidToString(CLSID_BRIXON); }

std::vector<ClassesEntry> ScriptEntries(const std::string& modulePath) {
  const std::string clsid = GuidToString(CLSID_BRIXON);
  const std::string classKey = ClassKey();
  return {
      ClassesValue(kVersionedProgId, nullptr, kClassName),
      ClassesValue(std::string(kVersionedProgId) + "\\CLSID", nullptr, clsid),
      ClassesValue(kProgId, nullptr, kClassName),
      ClassesValue(std::string(kProgId) + "\\CLSID", nullptr, clsid),
      ClassesValue(std::string(kProgId) + "\\CurVer", nullptr, kVersionedProgId),
      ClassesValue(classKey, nullptr, kClassName),
      ClassesValue(classKey + "\\ProgID", nullptr, kVersionedProgId),
      ClassesValue(classKey + "\\VersionIndependentProgID", nullptr, kProgId),
      ClassesKey(classKey + "\\Programmable"),
      ClassesValue(classKey + "\\InprocServer32", nullptr, modulePath),
      ClassesValue(classKey + "\\InprocServer32", "ThreadingModel", "Apartment"),
      ClassesValue(classKey + "\\TypeLib", nullptr, GuidToString(LIBID_BRIXONLib)),
      ClassesKey(classKey + "\\Implemented Categories\\" + GuidToString(CATID_SafeForScripting)),
  };
}

LONG Write(const ClassesEntry& entry) {
  HKEY key = nullptr;
  LONG result = CreateClassesKey(entry.key, &key);
  if (result != static_cast<LONG>(ERROR_SUCCESS)) return result;
  if (entry.hasValue) {
    result = RegSetValueEx(key, entry.name, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(entry.value.c_str()),
                           static_cast<DWORD>(entry.value.size() + 1));
  }
  RegCloseKey(key);
  return result;
}

}  // namespace

ClassesEntry ClassesValue(std::string key, const char* name, std::string value) {
  return {std::move(key), name, std::move(value), true};
}
ClassesEntry ClassesKey(std::string key) { return {std::move(key), nullptr, {}, false}; }

HRESULT WriteClassesEntries(const std::vector<ClassesEntry>& entries) {
  for (const ClassesEntry& entry : entries) {
    const LONG result = Write(entry);
    if (result != static_cast<LONG>(ERROR_SUCCESS)) {
      return HRESULT_FROM_WIN32(static_cast<DWORD>(result));
    }
  }
  return S_OK;
}

LONG RemoveClassesKey(const std::string& key) {
  const LONG result = DeleteClassesTree(key);
  return result == static_cast<LONG>(ERROR_FILE_NOT_FOUND) ? static_cast<LONG>(ERROR_SUCCESS)
                                                           : result;
}

HRESULT RegisterServer(const std::string& modulePath) {
  if (!IsFullPath(modulePath)) return E_INVALIDARG;
  // The class key is rewritten from scratch, so nothing of an older
  // registration survives under it.
  const LONG removed = RemoveClassesKey(ClassKey());
  if (removed != static_cast<LONG>(ERROR_SUCCESS)) {
    return HRESULT_FROM_WIN32(static_cast<DWORD>(removed));
  }
  const HRESULT hr = WriteClassesEntries(ScriptEntries(modulePath));
  return FAILED(hr) ? hr : RegisterBrixonTypeLib(modulePath);
}

HRESULT UnregisterServer() {
  // "CLSID" itself is shared by every class and stays.
  LONG first = static_cast<LONG>(ERROR_SUCCESS);
  for (const std::string& key : {std::string(kVersionedProgId), std::string(kProgId), ClassKey()}) {
    const LONG result = RemoveClassesKey(key);
    if (first == static_cast<LONG>(ERROR_SUCCESS)) first = result;
  }
  const HRESULT library = UnregisterBrixonTypeLib();
  if (first != static_cast<LONG>(ERROR_SUCCESS))
    return HRESULT_FROM_WIN32(static_cast<DWORD>(first));
  return library;
}

}  // namespace qvx::brixon
