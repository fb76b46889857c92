// The vendor control codes the reader serves, exactly as hosts send them.
#pragma once

#include <cstdint>

namespace qvxrdr {

constexpr std::uint32_t kCheckDevice = 0x312004;
constexpr std::uint32_t kCheckCard = 0x312008;
constexpr std::uint32_t kGetResponse = 0x31200C;
constexpr std::uint32_t kGetMode1Response = 0x312010;
constexpr std::uint32_t kGetMode2Response = 0x312014;
constexpr std::uint32_t kDisplayResult = 0x312018;
constexpr std::uint32_t kOpenCancelEvent = 0x31201C;
constexpr std::uint32_t kFunction808 = 0x312020;  // no host sends it; served without a device exchange
constexpr std::uint32_t kIsCurrentReader = 0x312024;  // refused
constexpr std::uint32_t kGetLastError = 0x312028;

// Whether the reader serves `code` at all; everything else is refused as
// an invalid parameter.
constexpr bool IsServedVendorCode(std::uint32_t code) {
  switch (code) {
    case kCheckDevice:
    case kCheckCard:
    case kGetResponse:
    case kGetMode1Response:
    case kGetMode2Response:
    case kDisplayResult:
    case kOpenCancelEvent:
    case kFunction808:
    case kGetLastError:
      return true;
    default:
      return false;
  }
}

// Whether serving `code` exchanges packets with the device.
constexpr bool TalksToDevice(std::uint32_t code) {
  return IsServedVendorCode(code) && code != kOpenCancelEvent && code != kFunction808 &&
         code != kGetLastError;
}

}  // namespace qvxrdr
