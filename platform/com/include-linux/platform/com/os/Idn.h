// IdnToAscii of the Linux layer: an internationalised domain name to its
// ASCII (punycode) form, as the Windows call, over libidn2 (UTS #46 non-transitional
// processing, so letters are also case-folded).
#pragma once

#include "platform/com/os/ComTypes.h"

namespace platform {

constexpr DWORD IDN_ALLOW_UNASSIGNED = 0x01;
constexpr DWORD IDN_USE_STD3_ASCII_RULES = 0x02;  // letters, digits, "-" only

// `length` counts the input characters (-1: up to and including the
// terminator, which is then converted and counted too). Returns the
// characters written, or with `size` 0 the characters needed; 0 on
// failure with the last error: ERROR_INVALID_NAME for a name that does not
// convert (invalid characters, a label over 63 or a name over 255
// characters, a lone surrogate), ERROR_INSUFFICIENT_BUFFER, or
// ERROR_INVALID_PARAMETER.
int IdnToAscii(DWORD flags, LPCOLESTR unicode, int length, LPOLESTR ascii, int size);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::IDN_ALLOW_UNASSIGNED;
using platform::IDN_USE_STD3_ASCII_RULES;
using platform::IdnToAscii;
