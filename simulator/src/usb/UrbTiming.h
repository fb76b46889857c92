// Where an interrupt packet's time goes on the emulated cable, per
// endpoint: "queued" from the host's submit (for IN, or the packet's
// readiness if later) until a frame carried the packet, "reap" from then until the host reaped the
// finished URB, and "turnaround" from the host's latest reap (on either endpoint) until it
// submitted a URB on an endpoint where it had none queued (never counted
// while it kept URBs queued), with the number of URBs the host had queued
// on the endpoint when it submitted one. Read with the control command
// "timing"; a benchmark clears it before the run it explains.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/Pacer.h"

namespace qvx::sim::usb {

// Durations in a histogram of 50 us steps up to 25 ms (the last step holds
// everything longer): mean, 95th percentile and maximum.
class Spread {
 public:
  void Add(std::chrono::nanoseconds value);
  std::size_t Count() const { return m_count; }
  // "mean 0.412 p95 0.950 max 3.100 ms", or "-" while empty.
  std::string Text() const;

 private:
  static constexpr std::int64_t kStepNs = 50000;
  std::array<std::uint32_t, 500> m_steps{};
  std::size_t m_count = 0;
  double m_sumMs = 0;
  double m_maxMs = 0;
};

class UrbTiming {
 public:
  struct Endpoint {
    Spread queued;
    Spread reap;
    Spread turnaround;
    std::size_t depthSum = 0;
    std::size_t depthMax = 0;
    std::size_t submits = 0;
  };

  // The host submitted a URB while `depth` others of the endpoint were queued.
  void Submitted(bool in, SteadyTime now, std::size_t depth);
  void Carried(bool in, SteadyTime submitted, SteadyTime now);
  void Reaped(bool in, SteadyTime finished, SteadyTime now);
  void Clear() { *this = UrbTiming{}; }
  // One line: "out: 4267 packets, queued ..., reap ..., turnaround ...,
  // depth mean 2.9 max 4; in: ...".
  std::string Text() const;

 private:
  Endpoint& Of(bool in) { return in ? m_in : m_out; }

  Endpoint m_in;
  Endpoint m_out;
  bool m_reaped = false;
  SteadyTime m_lastReap{};
};

}  // namespace qvx::sim::usb
