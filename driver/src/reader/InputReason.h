// Reasons of the local input checks; they become the detail byte of a
// category-10 record, beside the device's own error bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvx::driver {

enum class InputReason : std::uint8_t {
  None = 0,
  Malformed = 25,
  TooLong = 40,
};

// The longest request buffer any vendor request accepts.
constexpr std::size_t kMaxRequestSize = 25602;

}  // namespace qvx::driver
