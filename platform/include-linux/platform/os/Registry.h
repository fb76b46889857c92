// A file-backed registry for string values, shaped after the Win32 calls.
//
// HKEY_LOCAL_MACHINE lives under /etc/quorvex2/registry, HKEY_CURRENT_USER
// under $XDG_CONFIG_HOME/quorvex2/registry (default ~/.config). Setting
// QVX_REGISTRY_ROOT puts both below that directory instead, as its
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER subdirectories. Key paths use
// backslashes; key and value names compare without regard to ASCII case.
#pragma once

#include <string>

#include "platform/os/WinTypes.h"

namespace platform {

struct RegistryKey;
using HKEY = RegistryKey*;
extern const HKEY HKEY_LOCAL_MACHINE;
extern const HKEY HKEY_CURRENT_USER;

using REGSAM = DWORD;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// All return ERROR_SUCCESS or a Win32 error number (ERROR_FILE_NOT_FOUND for
// a missing key or value, ERROR_MORE_DATA when the buffer is too small, in
// which case *dataSize receives the size needed, ERROR_ACCESS_DENIED).
LONG RegOpenKeyEx(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result);
// Keys are always kept (REG_OPTION_NON_VOLATILE); class and security
// attributes are not taken. Reserved arguments are ignored, as on Windows.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
LONG RegCreateKeyEx(HKEY root, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                    REGSAM access, void* securityAttributes, HKEY* result, DWORD* disposition);
// String data includes its terminating zero byte in *dataSize, as on Windows.
LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* dataSize);
LONG RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD dataSize);
LONG RegDeleteValue(HKEY key, const char* valueName);
// Deletes the key with all its subkeys and values.
LONG RegDeleteTree(HKEY root, const char* subKey);
LONG RegCloseKey(HKEY key);

// Directory that backs a root key; for diagnostics and tests.
std::string RegistryRootDirectory(HKEY root);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using platform::KEY_ALL_ACCESS;
using platform::KEY_QUERY_VALUE;
using platform::KEY_READ;
using platform::KEY_SET_VALUE;
using platform::KEY_WRITE;
using platform::REG_CREATED_NEW_KEY;
using platform::REG_EXPAND_SZ;
using platform::REG_OPENED_EXISTING_KEY;
using platform::REG_OPTION_NON_VOLATILE;
using platform::REG_SZ;
using platform::RegCloseKey;
using platform::RegCreateKeyEx;
using platform::RegDeleteTree;
using platform::RegDeleteValue;
using platform::RegOpenKeyEx;
using platform::RegQueryValueEx;
using platform::RegSetValueEx;
