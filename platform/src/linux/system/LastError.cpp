// The thread's last error and the mapping from errno to Win32 numbers.
#include <cerrno>

#include "platform/WinTypes.h"
#include "system/PlatformError.h"

namespace platform {

namespace {
thread_local DWORD tLastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return tLastError; }

void SetLastError(DWORD error) { tLastError = error; }

namespace detail {

DWORD ErrorFromErrno(int err) noexcept {
  switch (err) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case ELOOP:  // a symbolic link where an object file belongs
      return ERROR_ACCESS_DENIED;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENAMETOOLONG:
      return ERROR_INVALID_NAME;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_GEN_FAILURE;
  }
}

DWORD NameErrorFromErrno(int err) noexcept {
  return err == EINVAL ? ERROR_INVALID_NAME : ErrorFromErrno(err);
}

void ThrowError(DWORD code) { throw PlatformError(code); }

void ThrowErrno(int err) { throw PlatformError(ErrorFromErrno(err)); }

void ThrowNameErrno(int err) { throw PlatformError(NameErrorFromErrno(err)); }

}  // namespace detail
}  // namespace platform
