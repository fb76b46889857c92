// The module around the object: its lock count, the class factory, and the
// registration in the classes registry.
#pragma once

#include <string>

#include "brixon/ReaderAccess.h"
#include "platform/com/Dispatch.h"

namespace qvx::brixon {

// Live objects plus class-factory locks; the module may go when it is 0.
void LockModule();
void UnlockModule();
long ModuleLockCount();

// The class factory of CBRIXON. The process's factory (one per process)
// gives its objects the plug-in's reader access (CPCSC); tests hand in
// their own.
platform::IClassFactory* CreateClassFactory(ReaderAccessFactory readers);
// Null only when out of memory.
platform::IClassFactory* ProcessClassFactory();

// The module's start and end (DllMain on Windows): the process's class
// factory is made up front and the module's reference to it dropped when
// the module is unloaded; the factory's clients keep their own.
void InitializeModule();
void TerminateModule();

// The registry script under HKEY_CLASSES_ROOT (both ProgIDs and the class
// key with InprocServer32 = `modulePath`, the class key rewritten from
// scratch) and the type library's registration (TypeLib and Interface
// keys). Unregistration removes all of it except the CLSID key itself.
// `modulePath` must be a full path (E_INVALIDARG otherwise). S_OK or the
// first registry error as an HRESULT.
platform::HRESULT RegisterServer(const std::string& modulePath);
platform::HRESULT UnregisterServer();

// BRIXONLib 1.0, as the object hands out its type information: as
// LoadRegTypeLib finds it, only while its registration is present
// (TYPE_E_LIBNOTREGISTERED otherwise). On Linux the described library, on
// Windows the one compiled into the registered module's resources.
platform::HRESULT LoadBrixonTypeLib(platform::ITypeLib** library);

}  // namespace qvx::brixon
