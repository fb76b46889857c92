#include "Latency.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace qvx::bench {

LatencySummary Summarise(std::vector<double> seconds) {
  if (seconds.empty()) throw std::invalid_argument("Summarise: no samples");
  std::sort(seconds.begin(), seconds.end());
  const std::size_t count = seconds.size();
  // Nearest rank: the smallest sample that at least 99% of them do not exceed.
  const auto rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(count)));
  return LatencySummary{seconds[count / 2], seconds[std::max<std::size_t>(rank, 1) - 1], count};
}

std::string Describe(const LatencySummary& summary, const char* unit) {
  char text[160];
  std::snprintf(text, sizeof text, "median %.3f ms, p99 %.3f ms (%zu %s)", summary.median * 1000,
                summary.p99 * 1000, summary.count, unit);
  return text;
}

}  // namespace qvx::bench
