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

// The registry script under HKEY_CLASSES_ROOT (both ProgIDs and the class
// key with InprocServer32 = `modulePath`, the class key rewritten from
// scratch) and the type library's registration (TypeLib and Interface
// keys). Unregistration removes all of it except the CLSID key itself.
// S_OK or the first registry error as an HRESULT.
platform::HRESULT RegisterServer(const std::string& modulePath);
platform::HRESULT UnregisterServer();

// LoadRegTypeLib for BRIXONLib 1.0: the described library when its
// registration is present, TYPE_E_LIBNOTREGISTERED otherwise.
platform::HRESULT LoadRegisteredTypeLib(platform::ITypeLib** library);

}  // namespace qvx::brixon
