// The vendor requests between host and reader driver: index, name, function
// number and the two control-code families. Hosts look codes up by index;
// the driver serves the PC/SC family.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvx::contract {

enum class ControlIndex : std::size_t {
  CheckDevice = 0,
  CheckCard = 1,
  GetResponse = 2,
  GetMode1Response = 3,
  GetMode2Response = 4,
  DisplayResult = 5,
  OpenCancelEvent = 6,
  IsCurrentReader = 7,
  GetLastError = 8,
};

// The platform's smart-card control code: device type 0x31, buffered, any
// access.
constexpr std::uint32_t SmartCardControlCode(std::uint32_t function) {
  return (0x31u << 16) | (function << 2);
}
// The same function under the direct device interface (device type 0x22).
constexpr std::uint32_t DirectControlCode(std::uint32_t function) {
  return (0x22u << 16) | (function << 2);
}

struct ControlCodeRow {
  ControlIndex index;
  const char* name;  // also the text inside "SCardControl(...)" of failures
  std::uint32_t function;
  std::uint32_t pcscCode;
  std::uint32_t directCode;
};

inline constexpr ControlCodeRow kControlCodes[] = {
    {ControlIndex::CheckDevice, "CheckDevice", 0x801, 0x312004, 0x222004},
    {ControlIndex::CheckCard, "CheckCard", 0x802, 0x312008, 0x222008},
    {ControlIndex::GetResponse, "GetResponse", 0x803, 0x31200C, 0x22200C},
    {ControlIndex::GetMode1Response, "GetMode1Response", 0x804, 0x312010, 0x222010},
    {ControlIndex::GetMode2Response, "GetMode2Response", 0x805, 0x312014, 0x222014},
    {ControlIndex::DisplayResult, "DisplayResult", 0x806, 0x312018, 0x222018},
    {ControlIndex::OpenCancelEvent, "OpenCancelEvent", 0x807, 0x31201C, 0x22201C},
    {ControlIndex::IsCurrentReader, "IsCurrentReader", 0x809, 0x312024, 0x222024},
    {ControlIndex::GetLastError, "GetLastError", 0x80A, 0x312028, 0x222028},
};

constexpr const ControlCodeRow& ControlCode(ControlIndex index) {
  return kControlCodes[static_cast<std::size_t>(index)];
}

namespace detail {
constexpr bool ControlCodesConsistent() {
  for (std::size_t i = 0; i < sizeof(kControlCodes) / sizeof(kControlCodes[0]); ++i) {
    const ControlCodeRow& row = kControlCodes[i];
    if (static_cast<std::size_t>(row.index) != i) return false;
    if (row.pcscCode != SmartCardControlCode(row.function)) return false;
    if (row.directCode != DirectControlCode(row.function)) return false;
  }
  return true;
}
}  // namespace detail
static_assert(detail::ControlCodesConsistent(),
              "control code table out of step with its function numbers");

}  // namespace qvx::contract
