// pcsc-lite's result codes as its own LONG makes them, for code inside
// namespace platform: spelled there, the macros' (LONG) cast would pick
// platform's 32-bit LONG and turn them negative.
#pragma once

#include "platform/os/WinSCard.h"

namespace pcsc_result {
inline constexpr ::LONG kSuccess = SCARD_S_SUCCESS;
inline constexpr ::LONG kSharingViolation = SCARD_E_SHARING_VIOLATION;
inline constexpr ::LONG kInternalError = SCARD_F_INTERNAL_ERROR;
inline constexpr ::LONG kNoService = SCARD_E_NO_SERVICE;
inline constexpr ::LONG kNoSmartcard = SCARD_E_NO_SMARTCARD;
}  // namespace pcsc_result
