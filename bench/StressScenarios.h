// The situations a stress run puts the reader channel in, one at a time on
// one lane; every random choice comes from the run's seeded generator.
#pragma once

#include <random>

#include "StressLane.h"
#include "StressTally.h"

namespace qvx::bench {

enum class Scenario {
  kPairRace,          // two requests 0 to 10 ms apart: the newcomer wins
  kCancelMidRequest,  // a cancel at a random moment of a long GetResponse
  kKillHolder,        // the holder killed; how long the next request waits
  kCardPulls,         // the card pulled 0 to 2 ms after insertion, repeatedly
};

constexpr Scenario kScenarios[] = {Scenario::kPairRace, Scenario::kCancelMidRequest,
                                   Scenario::kKillHolder, Scenario::kCardPulls};

const char* ScenarioName(Scenario scenario);

// Times one large GetResponse on the lane, the span the cancel and kill
// moments are drawn from; throws when it does not succeed.
void MeasureTransfer(CStressLane& lane, std::mt19937& random);

void RunScenario(Scenario scenario, CStressLane& lane, std::mt19937& random, CStressTally& tally);

}  // namespace qvx::bench
