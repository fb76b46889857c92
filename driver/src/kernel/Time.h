// The driver's clock.
//
// Offers: TickMs() — milliseconds of a monotonic clock (the interrupt time
// on Windows, steady_clock on Linux), for deadlines that span several
// waits; RemainingMs(deadline) for the wait still left.
#pragma once

#include <cstdint>

namespace qvx::driver {

std::uint64_t TickMs();

inline std::uint32_t RemainingMs(std::uint64_t deadline) {
  const std::uint64_t now = TickMs();
  return deadline <= now ? 0 : static_cast<std::uint32_t>(deadline - now);
}

}  // namespace qvx::driver
