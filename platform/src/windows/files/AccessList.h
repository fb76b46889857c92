// Protected access lists for files that hold keys.
#pragma once

#include "platform/WinTypes.h"

namespace platform::detail {

// Replaces the file's access list with one that no longer inherits from its
// folder: full control for SYSTEM and the administrators, and read access
// for the local service account when `serviceReads`. ERROR_SUCCESS or the
// failure's code.
DWORD ProtectFile(const char* fileName, bool serviceReads);

}  // namespace platform::detail
