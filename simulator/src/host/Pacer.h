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

  explicit Pacer(bool enabled) : enabled_(enabled) {}

  bool Ready(SteadyTime now) const { return !enabled_ || !started_ || now >= next_; }
  // When the next packet may pass; empty when it may pass now.
  std::optional<SteadyTime> NextSlot(SteadyTime now) const {
    if (Ready(now)) return std::nullopt;
    return next_;
  }
  // Slots lie on a fixed 1 ms grid while packets keep coming, so a late
  // wake-up does not push every later packet back; after a pause the grid
  // starts again at the packet that ends it.
  void Passed(SteadyTime now) {
    if (!enabled_) return;
    const bool onGrid = started_ && now - next_ < kInterval;
    next_ = (onGrid ? next_ : now) + kInterval;
    started_ = true;
  }

 private:
  bool enabled_;
  bool started_ = false;
  SteadyTime next_{};
};

}  // namespace qvx::sim
