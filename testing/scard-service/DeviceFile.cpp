#include "DeviceFile.h"

namespace qvx::testing::scard {

CDeviceFile::~CDeviceFile() {
  if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
}

bool CDeviceFile::Open() {
  m_file =
      CreateFileA(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  return m_file != INVALID_HANDLE_VALUE;
}

DWORD CDeviceFile::Control(DWORD code, const void* in, DWORD inLength, Bytes* out, HANDLE cancel,
                           DWORD limitMs) {
  if (m_file == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (overlapped.hEvent == nullptr) return GetLastError();
  DWORD returned = 0;
  DWORD result = ERROR_SUCCESS;
  if (!DeviceIoControl(m_file, code, const_cast<void*>(in), inLength, out->data(),
                       static_cast<DWORD>(out->size()), &returned, &overlapped)) {
    result = GetLastError();
  }
  if (result == ERROR_IO_PENDING) {
    const HANDLE waits[] = {overlapped.hEvent, cancel};
    const DWORD woke = WaitForMultipleObjects(cancel != nullptr ? 2 : 1, waits, FALSE, limitMs);
    DWORD early = ERROR_SUCCESS;
    if (woke == WAIT_OBJECT_0 + 1) early = ERROR_OPERATION_ABORTED;
    if (woke == WAIT_TIMEOUT) early = WAIT_TIMEOUT;
    if (early != ERROR_SUCCESS) CancelIoEx(m_file, &overlapped);
    result =
        GetOverlappedResult(m_file, &overlapped, &returned, TRUE) ? ERROR_SUCCESS : GetLastError();
    // A request that finished while it was being cancelled keeps its answer.
    if (early != ERROR_SUCCESS && result == ERROR_OPERATION_ABORTED) result = early;
  } else if (result == ERROR_SUCCESS) {
    GetOverlappedResult(m_file, &overlapped, &returned, FALSE);
  }
  CloseHandle(overlapped.hEvent);
  if (result == ERROR_SUCCESS) out->resize(returned);
  return result;
}

}  // namespace qvx::testing::scard
