// One packet per millisecond at most, as a full-speed interrupt endpoint
// polled every frame; a disabled pacer never holds anything back.
#pragma once

#include <chrono>
#include <optional>

namespace qvx::sim {

using SteadyTime = std::chrono::steady_clock::time_point;

class Pacer {
 public:
  static constexpr std::chrono::milliseconds kInterval{1};

  explicit Pacer(bool enabled) : m_enabled(enabled) {}

  bool Ready(SteadyTime now) const { return !m_enabled || !m_started || now >= m_next; }
  // When the next packet may pass; empty when it may pass now.
  std::optional<SteadyTime> NextSlot(SteadyTime now) const {
    if (Ready(now)) return std::nullopt;
    return m_next;
  }
  // Slots lie on a fixed 1 ms grid while packets keep coming, so a late
  // wake-up does not push every later packet back; after a pause the grid
  // starts again at the packet that ends it.
  void Passed(SteadyTime now) {
    if (!m_enabled) return;
    const bool onGrid = m_started && now - m_next < kInterval;
    m_next = (onGrid ? m_next : now) + kInterval;
    m_started = true;
  }

 private:
  bool m_enabled;
  bool m_started = false;
  SteadyTime m_next{};
};

}  // namespace qvx::sim
