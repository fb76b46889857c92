// HKEY_CLASSES_ROOT over the registry store: Software\Classes of the
// current user first, then of the machine.
#include <vector>

#include "platform/com/Creation.h"

namespace platform {
namespace {

std::string ClassesPath(const char* subKey) {
  std::string path = kClassesRootKey;
  if (subKey != nullptr && *subKey != '\0') {
    path += '\\';
    path += subKey;
  }
  return path;
}

}  // namespace

LONG RegOpenClassesKey(const char* subKey, REGSAM access, HKEY* result) {
  const std::string path = ClassesPath(subKey);
  const LONG user = RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, access, result);
  if (user != static_cast<LONG>(ERROR_FILE_NOT_FOUND) &&
      user != static_cast<LONG>(ERROR_PATH_NOT_FOUND)) {
    return user;
  }
  return RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, result);
}

LONG RegCreateClassesKey(const char* subKey, REGSAM access, HKEY* result, DWORD* disposition) {
  return RegCreateKeyEx(HKEY_LOCAL_MACHINE, ClassesPath(subKey).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, access, nullptr, result, disposition);
}

LONG RegDeleteClassesTree(const char* subKey) {
  return RegDeleteTree(HKEY_LOCAL_MACHINE, ClassesPath(subKey).c_str());
}

bool RegQueryClassesString(const char* subKey, const char* valueName, std::string* value) {
  HKEY key = nullptr;
  if (value == nullptr ||
      RegOpenClassesKey(subKey, KEY_QUERY_VALUE, &key) != static_cast<LONG>(ERROR_SUCCESS)) {
    return false;
  }
  DWORD type = 0;
  DWORD size = 0;
  bool ok = RegQueryValueEx(key, valueName, nullptr, &type, nullptr, &size) ==
                static_cast<LONG>(ERROR_SUCCESS) &&
            (type == REG_SZ || type == REG_EXPAND_SZ);
  std::vector<BYTE> data(size);
  if (ok && size > 0) {
    ok = RegQueryValueEx(key, valueName, nullptr, &type, data.data(), &size) ==
         static_cast<LONG>(ERROR_SUCCESS);
  }
  RegCloseKey(key);
  if (!ok) {
    return false;
  }
  // Up to the terminator the value was written with (if any).
  std::size_t length = 0;
  while (length < size && data[length] != 0) {
    ++length;
  }
  value->assign(reinterpret_cast<const char*>(data.data()), length);
  return true;
}

}  // namespace platform
