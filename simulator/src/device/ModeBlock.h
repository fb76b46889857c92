// The block of command 0x07: mode 1 carries EMV data objects with the
// challenge and optionally amount and currency; mode 2 is the single byte 02.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "device/DevicePackets.h"

namespace qvx::sim {

struct Mode1Input {
  std::array<std::uint8_t, 4> challenge{};
  // Both or neither.
  std::optional<std::array<std::uint8_t, 6>> amount;
  std::optional<std::array<std::uint8_t, 2>> currency;
};

struct ModeRequest {
  int mode = 0;  // 1 or 2
  Mode1Input mode1;
};

struct ModeParse {
  std::optional<ModeRequest> request;
  std::uint8_t error = 0;  // the response-code-8 byte when request is empty
};

constexpr std::uint32_t kTagChallenge = 0x9F37;
constexpr std::uint32_t kTagAmount = 0x9F02;
constexpr std::uint32_t kTagCurrency = 0x5F2A;

ModeParse ParseModeBlock(const Bytes& block);

}  // namespace qvx::sim
