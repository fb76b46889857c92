// The last-error record a host reads with GetLastError right after every
// vendor request: a category byte (0 none) and three detail bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qvx::contract {

inline constexpr std::size_t kLastErrorRecordSize = 4;

using LastErrorRecord = std::array<std::uint8_t, kLastErrorRecordSize>;

}  // namespace qvx::contract
