#include "usb/UrbTiming.h"

#include <algorithm>
#include <cstdio>

namespace qvx::sim::usb {

void Spread::Add(std::chrono::nanoseconds value) {
  const std::int64_t ns = std::max<std::int64_t>(value.count(), 0);
  const std::size_t step =
      std::min<std::size_t>(static_cast<std::size_t>(ns / kStepNs), m_steps.size() - 1);
  ++m_steps[step];
  ++m_count;
  const double ms = static_cast<double>(ns) / 1e6;
  m_sumMs += ms;
  m_maxMs = std::max(m_maxMs, ms);
}

std::string Spread::Text() const {
  if (m_count == 0) return "-";
  const std::size_t rank = (m_count * 95 + 99) / 100;  // the 95th percentile's place
  std::size_t seen = 0;
  std::size_t step = 0;
  for (; step < m_steps.size(); ++step) {
    seen += m_steps[step];
    if (seen >= rank) break;
  }
  const double p95 = std::min(static_cast<double>((step + 1) * kStepNs) / 1e6, m_maxMs);
  char text[96];
  std::snprintf(text, sizeof text, "mean %.3f p95 %.3f max %.3f ms",
                m_sumMs / static_cast<double>(m_count), p95, m_maxMs);
  return text;
}

void UrbTiming::Submitted(bool in, SteadyTime now, std::size_t depth) {
  Endpoint& endpoint = Of(in);
  ++endpoint.submits;
  endpoint.depthSum += depth;
  endpoint.depthMax = std::max(endpoint.depthMax, depth);
  if (depth == 0 && m_reaped) endpoint.turnaround.Add(now - m_lastReap);
}

void UrbTiming::Carried(bool in, SteadyTime submitted, SteadyTime now) {
  Of(in).queued.Add(now - submitted);
}

void UrbTiming::Reaped(bool in, SteadyTime finished, SteadyTime now) {
  Of(in).reap.Add(now - finished);
  m_reaped = true;
  m_lastReap = now;
}

std::string UrbTiming::Text() const {
  auto one = [](const char* name, const Endpoint& endpoint) {
    char depth[64];
    std::snprintf(depth, sizeof depth, "depth mean %.1f max %zu",
                  endpoint.submits == 0 ? 0.0
                                        : static_cast<double>(endpoint.depthSum) /
                                              static_cast<double>(endpoint.submits),
                  endpoint.depthMax);
    return std::string(name) + ": " + std::to_string(endpoint.queued.Count()) +
           " packets, queued " + endpoint.queued.Text() + ", reap " + endpoint.reap.Text() +
           ", turnaround " + endpoint.turnaround.Text() + ", " + depth;
  };
  return one("out", m_out) + "; " + one("in", m_in);
}

}  // namespace qvx::sim::usb
