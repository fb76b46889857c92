// Loadable modules, shaped after Win32: LoadLibrary, GetProcAddress,
// FreeLibrary, GetModuleFileName, and the platform's helper that finds the
// module holding an address.
#pragma once

#include "platform/os/Module.h"

namespace platform {

// GetModuleHandleEx(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
// GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT): the module that holds
// `address` (nullptr for the program itself is not an answer: the program
// is a module too). No reference is added.
bool GetModuleHandleFromAddress(const void* address, HMODULE* module);

}  // namespace platform
