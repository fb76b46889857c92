// The plug-in's stand-in for the platform's message formatting: the system
// message text of a numeric code.
#pragma once

#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace qvx::brixon {

// What FormatSystemMessage answers when the code has no message text.
constexpr platform::DWORD ERROR_MR_MID_NOT_FOUND = 317;

// Fills `text` with the system message for `code`, without a trailing line
// end. Returns ERROR_SUCCESS, ERROR_MR_MID_NOT_FOUND when the system has no
// text for the code, or another error when the lookup itself failed.
//
// On Linux the "system" is two sources: the Win32 error numbers the
// platform layer reports (platform/WinTypes.h) read as the Windows texts,
// and PC/SC result codes (0x801000xx) read as pcsc-lite's own texts. Any
// other code has no text.
platform::DWORD FormatSystemMessage(std::uint32_t code, std::string& text);

}  // namespace qvx::brixon
