// Latency samples of the WebSocket benchmarks: timing one call, and the
// median and 99th percentile of a series.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace qvx::bench {

struct LatencySummary {
  double median = 0;  // seconds
  double p99 = 0;     // seconds, nearest rank
  std::size_t count = 0;
};

// Throws std::invalid_argument for an empty series.
LatencySummary Summarise(std::vector<double> seconds);

// "median 0.412 ms, p99 0.780 ms (2000 samples)"
std::string Describe(const LatencySummary& summary, const char* unit = "samples");

// Seconds `call` took.
template <typename Call>
double SecondsOf(Call&& call) {
  const auto start = std::chrono::steady_clock::now();
  std::forward<Call>(call)();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return elapsed.count();
}

}  // namespace qvx::bench
