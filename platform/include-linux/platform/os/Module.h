// Loadable modules on Linux in Win32 shape: LoadLibrary, GetProcAddress,
// FreeLibrary, and the file a module (or the program) was loaded from.
#pragma once

#include "platform/os/WinTypes.h"

namespace platform {

struct ModuleTag;
using HMODULE = ModuleTag*;
using FARPROC = void (*)();

constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;

// Loads the module with every symbol resolved now and kept to itself (a
// module's symbols never stand in for another's). nullptr on failure, with
// the last error ERROR_MOD_NOT_FOUND.
HMODULE LoadLibrary(const char* fileName);
// nullptr with ERROR_PROC_NOT_FOUND when the module has no such export.
FARPROC GetProcAddress(HMODULE module, const char* procName);
bool FreeLibrary(HMODULE module);

// GetModuleFileName: the full path, links resolved, of the module's file;
// module nullptr names the program. Returns the length written without the
// terminating zero, or 0 on failure; a path that does not fit is cut to
// size - 1 characters with ERROR_INSUFFICIENT_BUFFER, as Windows does.
DWORD GetModuleFileName(HMODULE module, char* fileName, DWORD size);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::FreeLibrary;
using platform::GetModuleFileName;
using platform::GetProcAddress;
using platform::LoadLibrary;
