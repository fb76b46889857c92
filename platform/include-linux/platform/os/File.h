// Files, shaped after Win32: CreateFile and WriteFile; CloseHandle (Sync.h)
// ends them like any other handle.
#pragma once

#include <cstdint>

#include "platform/os/WinTypes.h"

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
// Never through a link: a link in the file's place is refused.
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;

// A 64-bit file position or size, in the Windows shape.
union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  long long QuadPart;
};

// SetFilePointerEx origins.
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;

// A file made here is readable and writable by everyone the process's
// umask lets in (no security attributes are taken). The handle is not
// inherited by programs this process starts.
HANDLE CreateFile(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                  void* securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                  HANDLE templateFile);

// Where a write goes, in the Windows shape. Only the end of the file
// (Offset and OffsetHigh both 0xFFFFFFFF) is taken here: a write the other
// processes' appends cannot split.
struct OVERLAPPED {
  std::uintptr_t Internal;
  std::uintptr_t InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};

// Writes the whole buffer (a file write on Windows does not stop short);
// false with the last error when the file refuses. With `overlapped` the
// write goes to the end of the file (any other offset is
// ERROR_INVALID_PARAMETER).
bool WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               OVERLAPPED* overlapped);
// Reads from the file position; *bytesRead 0 at the end of the file.
bool ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void* overlapped);
bool SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* newPosition,
                      DWORD moveMethod);
// Cuts (or extends) the file at the file position.
bool SetEndOfFile(HANDLE file);
bool GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::CREATE_ALWAYS;
using platform::CREATE_NEW;
using platform::CreateFile;
using platform::FILE_APPEND_DATA;
using platform::FILE_ATTRIBUTE_NORMAL;
using platform::FILE_BEGIN;
using platform::FILE_CURRENT;
using platform::FILE_END;
using platform::FILE_FLAG_OPEN_REPARSE_POINT;
using platform::FILE_SHARE_READ;
using platform::FILE_SHARE_WRITE;
using platform::GENERIC_READ;
using platform::GENERIC_WRITE;
using platform::GetFileSizeEx;
using platform::INVALID_HANDLE_VALUE;
using platform::OPEN_ALWAYS;
using platform::OPEN_EXISTING;
using platform::ReadFile;
using platform::SetEndOfFile;
using platform::SetFilePointerEx;
using platform::WriteFile;
