// GetEnvironmentVariable and SetEnvironmentVariable over the process
// environment (the one getenv reads).
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/System.h"
#include "system/PlatformError.h"

namespace platform {

DWORD GetEnvironmentVariable(const char* name, char* buffer, DWORD size) {
  return detail::AtEdge<DWORD>(0, [&]() -> DWORD {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) {
      detail::ThrowError(ERROR_INVALID_PARAMETER);
    }
    const char* value = std::getenv(name);
    if (value == nullptr) detail::ThrowError(ERROR_ENVVAR_NOT_FOUND);
    const std::size_t length = std::strlen(value);
    if (length >= std::numeric_limits<DWORD>::max()) detail::ThrowError(ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(ERROR_SUCCESS);
    if (buffer == nullptr || size <= length) {
      return static_cast<DWORD>(length + 1);  // what the buffer needs, with the zero
    }
    std::memcpy(buffer, value, length + 1);
    return static_cast<DWORD>(length);  // what was written, without it
  });
}

bool SetEnvironmentVariable(const char* name, const char* value) {
  return detail::AtEdge(false, [&] {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) {
      detail::ThrowError(ERROR_INVALID_PARAMETER);
    }
    const int result = value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    if (result != 0) detail::ThrowErrno(errno);
    return true;
  });
}

}  // namespace platform
