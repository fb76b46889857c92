// Internal failure model of the Linux platform layer: helpers raise a
// PlatformError carrying a Win32 error number, and every public call turns it
// into its return value and the thread's last error at the edge.
#pragma once

#include <exception>
#include <new>

#include "platform/WinTypes.h"

namespace platform {
namespace detail {

class PlatformError : public std::exception {
 public:
  explicit PlatformError(DWORD code) noexcept : m_code(code) {}
  DWORD Code() const noexcept { return m_code; }
  const char* what() const noexcept override { return "platform call failed"; }

 private:
  DWORD m_code;
};

// Win32 error number for an errno value.
DWORD ErrorFromErrno(int err) noexcept;
// The same, for calls whose failure points at a name (EINVAL means the name
// was not acceptable).
DWORD NameErrorFromErrno(int err) noexcept;

[[noreturn]] void ThrowError(DWORD code);
[[noreturn]] void ThrowErrno(int err);
[[noreturn]] void ThrowNameErrno(int err);

// Runs `body` and converts a raised failure into SetLastError + `failure`.
template <typename Result, typename Body>
Result AtEdge(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const PlatformError& e) {
    SetLastError(e.Code());
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    SetLastError(ERROR_GEN_FAILURE);
  }
  return failure;
}

}  // namespace detail
}  // namespace platform
