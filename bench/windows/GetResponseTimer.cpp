// qvx-bench-get-response: times the benchmarks' large GetResponse through
// the command library in this process, since its sign data (51,200
// hexadecimal characters for 100 blocks) is too long for a Windows command
// line. Prints each run's seconds and their median; the driver lane's
// benchmark (driver-lane-bench) sets up the device and judges the figure.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "SignData.h"

namespace {

constexpr int kUsageExit = 64;
constexpr unsigned long kMaxRuns = 100;

// A whole number from 1 to `max`, or nothing.
std::optional<std::size_t> ParseCount(const char* text, unsigned long max) {
  const std::string digits = text;
  if (digits.empty() || digits.size() > 3) return std::nullopt;
  unsigned long value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value < 1 || value > max) return std::nullopt;
  return static_cast<std::size_t>(value);
}

int Usage() {
  std::fprintf(stderr,
               "usage: qvx-bench-get-response BLOCKS RUNS [--warm-up]\n"
               "  BLOCKS  blocks of %zu bytes of sign data, 1 to %zu\n"
               "  RUNS    timed requests, 1 to %lu; their median is printed\n"
               "  --warm-up  one untimed request first\n",
               qvx::bench::kBlockBytes, qvx::bench::kFullBlocks, kMaxRuns);
  return kUsageExit;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) return Usage();
  const auto blocks = ParseCount(argv[1], qvx::bench::kFullBlocks);
  const auto runs = ParseCount(argv[2], kMaxRuns);
  const bool warmUp = argc == 4 && std::string(argv[3]) == "--warm-up";
  if (!blocks || !runs || (argc == 4 && !warmUp)) return Usage();

  try {
    const std::string signData = qvx::bench::SignData(*blocks);
    if (warmUp) qvx::bench::TimeGetResponse(signData);
    std::vector<double> times;
    for (std::size_t i = 0; i < *runs; ++i) {
      times.push_back(qvx::bench::TimeGetResponse(signData));
      std::printf("run %zu: %.6f s\n", i + 1, times.back());
      std::fflush(stdout);
    }
    std::sort(times.begin(), times.end());
    std::printf("median: %.6f s\n", times[times.size() / 2]);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvx-bench-get-response: %s\n", e.what());
    return 1;
  }
}
