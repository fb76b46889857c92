// FormatMessage(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS):
// the system's text for a numeric code.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os/SystemMessage.h"

namespace platform {

// Fills `text` with the system message for `code`, without a trailing line
// end. Returns ERROR_SUCCESS, ERROR_MR_MID_NOT_FOUND when the system has no
// text for the code, or another error when the lookup itself failed.
//
// On Linux the "system" is two sources: the Win32 error numbers this layer
// reports (WinTypes.h) read as the Windows texts, and PC/SC result codes
// (0x801000xx) read as pcsc-lite's own texts. Any other code has no text.
DWORD FormatSystemMessage(std::uint32_t code, std::string& text);

}  // namespace platform
