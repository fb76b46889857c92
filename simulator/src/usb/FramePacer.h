// One packet per 1 ms frame on an endpoint, as a full-speed device polled
// every frame. The frames lie on a grid fixed when the device starts, as the
// host's start-of-frame clock does: a transfer waiting when a frame begins
// goes in that frame, and a transfer that comes mid-frame may still use the
// frame if no other packet did. Frames the simulator slept through are not
// lost for transfers that were already waiting in them: they pass together
// when it wakes, as the host controller would have moved them meanwhile.
#pragma once

#include <chrono>
#include <cstdint>

#include "link/Pacer.h"

namespace qvx::sim::usb {

class FramePacer {
 public:
  static constexpr std::chrono::microseconds kFrame{1000};

  FramePacer(bool enabled, SteadyTime origin) : m_enabled(enabled), m_origin(origin) {}

  // When a packet whose transfer was ready at `ready` passes: at `ready`
  // itself, or at the start of the first free frame after it.
  SteadyTime PassTime(SteadyTime ready) const {
    if (!m_enabled) return ready;
    const SteadyTime start = Start(FrameFor(ready));
    return start > ready ? start : ready;
  }
  // The packet ready at `ready` took its frame.
  void Use(SteadyTime ready) {
    if (m_enabled) m_nextFrame = FrameFor(ready) + 1;
  }

 private:
  std::int64_t FrameOf(SteadyTime time) const {
    if (time <= m_origin) return 0;
    return static_cast<std::int64_t>((time - m_origin) / kFrame);
  }
  std::int64_t FrameFor(SteadyTime ready) const {
    const std::int64_t frame = FrameOf(ready);
    return frame > m_nextFrame ? frame : m_nextFrame;
  }
  SteadyTime Start(std::int64_t frame) const {
    return m_origin + std::chrono::duration_cast<SteadyTime::duration>(kFrame * frame);
  }

  bool m_enabled;
  SteadyTime m_origin;
  std::int64_t m_nextFrame = 0;  // frames before it carried a packet or went by empty
};

}  // namespace qvx::sim::usb
