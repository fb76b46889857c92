// The rolling sequence byte of abort packets, shared by every device of the
// driver.
#pragma once

#include <cstdint>

namespace qvx::driver {

// The next value (wraps after 0xFF).
std::uint8_t NextAbortSequence();

}  // namespace qvx::driver
