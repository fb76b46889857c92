// The registry script's pieces both systems share, and what each system
// does its own way (src/linux, src/windows): where HKEY_CLASSES_ROOT is, and
// how a type library is registered and loaded.
#pragma once

#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/com/Dispatch.h"

namespace qvx::brixon {

struct ClassesEntry {
  std::string key;
  const char* name;  // nullptr: the default value
  std::string value;
  bool hasValue;  // false: the key alone
};

ClassesEntry ClassesValue(std::string key, const char* name, std::string value);
ClassesEntry ClassesKey(std::string key);

// Creates the keys and sets their REG_SZ values in order: S_OK or the first
// registry error as an HRESULT.
platform::HRESULT WriteClassesEntries(const std::vector<ClassesEntry>& entries);
// Removes a key with everything under it; one that is not there counts as
// removed.
platform::LONG RemoveClassesKey(const std::string& key);

// The system's part.

// Whether `path` names a file from the root of its file system.
bool IsFullPath(const std::string& path);
platform::LONG CreateClassesKey(const std::string& key, platform::HKEY* result);
platform::LONG DeleteClassesTree(const std::string& key);
// Registers BRIXONLib for the module at `modulePath` (TypeLib and Interface
// keys), and removes that registration again; removing what is not there
// is S_OK.
platform::HRESULT RegisterBrixonTypeLib(const std::string& modulePath);
platform::HRESULT UnregisterBrixonTypeLib();

}  // namespace qvx::brixon
