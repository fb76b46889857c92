// The system's texts through FormatMessage, without the line end it adds.
#include "platform/SystemMessage.h"

namespace platform {

DWORD FormatSystemMessage(std::uint32_t code, std::string& text) {
  char* buffer = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  if (length == 0) {
    const DWORD failure = ::GetLastError();
    return failure == ERROR_SUCCESS ? ERROR_MR_MID_NOT_FOUND : failure;
  }
  text.assign(buffer, length);
  ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return ERROR_SUCCESS;
}

}  // namespace platform
