// qvx-stress: races, cancels, killed holders and card pulls against private
// stacks (one unpaced, one paced) from outside, with qvxcmd processes, for a
// bounded time. After every scenario a probe on the quiet device must find
// driver and device in step. Exits 1 when a target is missed: a
// desynchronised device, a stuck request, an outcome the reader channel's
// rules do not allow, or a newcomer that waited 1 s or more after the
// holder was killed.
//
//   qvx-stress [--seconds N] [--seed N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "Stack.h"
#include "StressLane.h"
#include "StressScenarios.h"
#include "StressTally.h"

namespace {

constexpr int kUsage = 64;
constexpr int kSkipped = 77;  // ctest's SKIP_RETURN_CODE

struct Options {
  long seconds = 600;
  unsigned long seed = 0;
  bool seedGiven = false;
};

bool ParseNumber(const char* text, unsigned long* value) {
  char* end = nullptr;
  *value = std::strtoul(text, &end, 10);
  return *text != '\0' && *end == '\0';
}

bool Parse(int argc, char** argv, Options* options) {
  // Options come in pairs: a name and its number.
  for (int i = 1; i < argc; i += 2) {
    unsigned long value = 0;
    if (i + 1 >= argc || !ParseNumber(argv[i + 1], &value)) return false;
    if (std::strcmp(argv[i], "--seconds") == 0 && value > 0) {
      options->seconds = static_cast<long>(value);
    } else if (std::strcmp(argv[i], "--seed") == 0) {
      options->seed = value;
      options->seedGiven = true;
    } else {
      return false;
    }
  }
  return true;
}

int Run(const Options& options) {
  using namespace qvx::bench;
  const unsigned long seed = options.seedGiven ? options.seed : std::random_device{}();
  std::printf("stress: seed %lu (again with --seed %lu), %ld s\n", seed, seed, options.seconds);
  std::fflush(stdout);
  std::mt19937 random(static_cast<std::mt19937::result_type>(seed));

  CStressTally tally;
  std::vector<std::unique_ptr<CStressLane>> lanes;
  lanes.push_back(std::make_unique<CStressLane>("unpaced", false, tally));
  lanes.push_back(std::make_unique<CStressLane>("paced", true, tally));
  for (const auto& lane : lanes) {
    MeasureTransfer(*lane, random);
    std::printf("stress: %s lane: a large GetResponse takes %.1f ms\n", lane->Name().c_str(),
                static_cast<double>(lane->TransferTime().count()) / 1000);
  }

  // Every scenario on every lane once per round, in a shuffled order, so
  // even a short run covers them all.
  std::vector<std::pair<Scenario, CStressLane*>> round;
  for (const Scenario scenario : kScenarios)
    for (const auto& lane : lanes) round.emplace_back(scenario, lane.get());

  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::seconds(options.seconds);
  while (std::chrono::steady_clock::now() < end) {
    std::shuffle(round.begin(), round.end(), random);
    for (const auto& [scenario, lane] : round) {
      if (std::chrono::steady_clock::now() >= end) break;
      RunScenario(scenario, *lane, random, tally);
    }
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return tally.Report(took.count()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) {
    std::fprintf(stderr, "usage: %s [--seconds N] [--seed N]\n", argv[0]);
    return kUsage;
  }
  std::string why;
  if (!qvx::testing::Stack::Available(&why)) {
    std::printf("stress: skipped: %s\n", why.c_str());
    return kSkipped;
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "stress: %s\n", e.what());
    return 2;
  }
}
