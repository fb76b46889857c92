// The firmware's error bytes, sent as the data of response code 8.
#pragma once

#include <cstdint>

namespace qvx::sim::error {

constexpr std::uint8_t kDfNameNotFound = 0x01;  // no application the device knows: card unsupported
constexpr std::uint8_t kInputNotValid = 0x19;   // 25: wrong data length or content
constexpr std::uint8_t kLengthNotValid =
    0x21;  // 33: challenge, amount or currency of the wrong length
constexpr std::uint8_t kTlvParseFail = 0x23;      // 35: mode block does not parse
constexpr std::uint8_t kNotAllowed = 0x25;        // 37: command out of sequence, or device busy
constexpr std::uint8_t kDataSize = 0x28;          // 40: more than 25600 bytes of command data
constexpr std::uint8_t kMandatoryMissing = 0x29;  // 41: no challenge in a mode 1 block
constexpr std::uint8_t kNoCard = 0x34;            // 52
constexpr std::uint8_t kPinBlocked = 0x82;        // 130
constexpr std::uint8_t kCardBlocked = 0x83;       // 131

}  // namespace qvx::sim::error
