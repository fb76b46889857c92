// Files in Win32 shape (CreateFile, ReadFile, WriteFile, SetFilePointerEx,
// SetEndOfFile, GetFileSizeEx; CloseHandle ends them like any other handle),
// and the platform's own private-file helper.
#pragma once

#include "platform/os/File.h"

namespace platform {

// The caller's own private file, opened for reading and appending (made
// when missing, readable and writable by its owner alone). Refused with
// ERROR_ACCESS_DENIED when the name is a link, not a regular file, or a
// file of another account: in a shared directory another account could
// plant either. INVALID_HANDLE_VALUE on failure.
HANDLE CreateOwnFile(const char* fileName);

}  // namespace platform
