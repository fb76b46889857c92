// The rolling sequence byte of abort packets, shared by every device of the
// driver.
#pragma once

#include <cstdint>

namespace qvxrdr {

// The next value (wraps after 0xFF).
std::uint8_t NextAbortSequence();

}  // namespace qvxrdr
