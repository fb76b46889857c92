// One open handle on a reader's device interface, with device-control
// requests that can end early: on a cancel event or a time limit the request
// is cancelled at the driver (CancelIoEx) and waited for, so its buffers are
// never in use after it returns.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvx::testing::scard {

using Bytes = std::vector<BYTE>;

class CDeviceFile {
 public:
  explicit CDeviceFile(std::string path) : m_path(std::move(path)) {}
  ~CDeviceFile();
  CDeviceFile(const CDeviceFile&) = delete;
  CDeviceFile& operator=(const CDeviceFile&) = delete;

  bool Open();
  const std::string& Path() const { return m_path; }
  HANDLE Handle() const { return m_file; }

  // Sends `code` with the input; `out` holds the capacity on entry and the
  // reply on success. The Win32 result: ERROR_SUCCESS, the driver's error,
  // ERROR_OPERATION_ABORTED when `cancel` was set, WAIT_TIMEOUT when
  // `limitMs` passed first.
  DWORD Control(DWORD code, const void* in, DWORD inLength, Bytes* out, HANDLE cancel = nullptr,
                DWORD limitMs = INFINITE);

 private:
  std::string m_path;
  HANDLE m_file = INVALID_HANDLE_VALUE;
};

}  // namespace qvx::testing::scard
