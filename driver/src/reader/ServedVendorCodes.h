// The vendor control codes the reader serves, exactly as hosts send them.
#pragma once

#include <cstdint>

#include "contract/ControlCodes.h"

namespace qvx::driver {

namespace detail {
constexpr std::uint32_t PcscCode(qvx::contract::ControlIndex index) {
  return qvx::contract::ControlCode(index).pcscCode;
}
}  // namespace detail

using qvx::contract::ControlIndex;

constexpr std::uint32_t kCheckDevice = detail::PcscCode(ControlIndex::CheckDevice);
constexpr std::uint32_t kCheckCard = detail::PcscCode(ControlIndex::CheckCard);
constexpr std::uint32_t kGetResponse = detail::PcscCode(ControlIndex::GetResponse);
constexpr std::uint32_t kGetMode1Response = detail::PcscCode(ControlIndex::GetMode1Response);
constexpr std::uint32_t kGetMode2Response = detail::PcscCode(ControlIndex::GetMode2Response);
constexpr std::uint32_t kDisplayResult = detail::PcscCode(ControlIndex::DisplayResult);
constexpr std::uint32_t kOpenCancelEvent = detail::PcscCode(ControlIndex::OpenCancelEvent);
// No host sends it; served without a device exchange.
constexpr std::uint32_t kFunction808 = qvx::contract::SmartCardControlCode(0x808);
constexpr std::uint32_t kIsCurrentReader =
    detail::PcscCode(ControlIndex::IsCurrentReader);  // refused
constexpr std::uint32_t kGetLastError = detail::PcscCode(ControlIndex::GetLastError);

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

}  // namespace qvx::driver
