#include "kernel/Time.h"

#include <chrono>

namespace qvx::driver {

std::uint64_t TickMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

}  // namespace qvx::driver
