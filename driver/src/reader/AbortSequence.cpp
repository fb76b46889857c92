#include "reader/AbortSequence.h"

#include <atomic>

namespace qvx::driver {

std::uint8_t NextAbortSequence() {
  static std::atomic<std::uint8_t> sequence{0};
  return static_cast<std::uint8_t>(sequence.fetch_add(1) + 1);
}

}  // namespace qvx::driver
