// Files, shaped after Win32: CreateFile and WriteFile; CloseHandle (Sync.h)
// ends them like any other handle.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

namespace platform {

// What CreateFile answers on failure (not nullptr, as on Windows).
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// Access: FILE_APPEND_DATA alone makes every write land at the end of the
// file as one piece, even with other writers (O_APPEND).
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_APPEND_DATA = 0x0004;

// Sharing: Linux has no share modes; the flags are taken and not enforced.
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;

// Creation disposition.
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;

constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// A file made here is readable and writable by everyone the process's
// umask lets in (no security attributes are taken). The handle is not
// inherited by programs this process starts.
HANDLE CreateFile(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                  void* securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                  HANDLE templateFile);

// Writes the whole buffer (a file write on Windows does not stop short);
// false with the last error when the file refuses.
bool WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               void* overlapped);

}  // namespace platform
