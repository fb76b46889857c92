// Creating objects by ProgID and class id through the Linux layer's
// classes registry, and the in-process server entry points.
//
// HKEY_CLASSES_ROOT is stood in for by "Software\Classes" under the
// registry roots of platform/Registry.h: a key is read from
// HKEY_CURRENT_USER\Software\Classes when it exists there (per-user
// registration) and otherwise from HKEY_LOCAL_MACHINE\Software\Classes,
// the way Windows merges the two; registration writes the machine's.
// Layout read by CoCreateInstance, as on Windows:
//   <ProgID>\CLSID                      (default) "{class id}"
//   <ProgID>\CurVer                     (default) versioned ProgID, used
//                                        when <ProgID> has no CLSID key
//   CLSID\{class id}\InprocServer32      (default) full path of the module
// Only in-process servers exist: the module is loaded with dlopen and
// stays loaded for the life of the process (its objects' code must not go
// away under them; nothing calls DllCanUnloadNow).
#pragma once

#include "platform/Registry.h"
#include "platform/com/os/Unknown.h"

namespace platform {

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// There are no apartments to enter on Linux: objects here are called on the
// thread that created them and marshal nothing, so these only count calls
// per thread (S_OK for a thread's first, S_FALSE after) to keep the Windows
// pairing visible.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// "<ProgID>\CLSID", following CurVer once. CO_E_CLASSSTRING when the ProgID
// is not registered or holds no valid class id; E_INVALIDARG for null.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);

// Loads the class's InprocServer32 module and asks its DllGetClassObject
// for the class factory. REGDB_E_CLASSNOTREG when the class (or an
// in-process server for it) is not registered, or `context` lacks
// CLSCTX_INPROC_SERVER; HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) when the
// module does not load; CO_E_ERRORINDLL when it lacks the export;
// otherwise what DllGetClassObject answers.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* reserved, REFIID riid, void** object);
// CoGetClassObject, then IClassFactory::CreateInstance(outer, riid). With
// an outer unknown riid must be IID_IUnknown (E_INVALIDARG otherwise), and
// the result is the inner unknown the outer object then owns.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);

// Exports of an in-process server module (extern "C").
using DllGetClassObjectFunction = HRESULT (*)(REFCLSID clsid, REFIID riid, void** object);
constexpr const char* kDllGetClassObjectName = "DllGetClassObject";

// The classes registry for registrars: the same Win32 results as
// platform/Registry.h. Open reads as described above; Create and DeleteTree
// act on HKEY_LOCAL_MACHINE\Software\Classes.
constexpr const char* kClassesRootKey = "Software\\Classes";
LONG RegOpenClassesKey(const char* subKey, REGSAM access, HKEY* result);
LONG RegCreateClassesKey(const char* subKey, REGSAM access, HKEY* result, DWORD* disposition);
LONG RegDeleteClassesTree(const char* subKey);
// Reads a REG_SZ value of a classes key; false when absent or not text.
bool RegQueryClassesString(const char* subKey, const char* valueName, std::string* value);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::CLSCTX_ALL;
using platform::CLSCTX_INPROC_HANDLER;
using platform::CLSCTX_INPROC_SERVER;
using platform::CLSCTX_LOCAL_SERVER;
using platform::CLSIDFromProgID;
using platform::CoCreateInstance;
using platform::CoGetClassObject;
using platform::CoInitialize;
using platform::CoUninitialize;
