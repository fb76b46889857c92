#include "StressScenarios.h"

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qvx::bench {

namespace {

using Args = std::vector<std::string>;
using std::chrono::microseconds;

// Statuses of a request that meets another: success, cancelled by the
// other session, device in use.
constexpr std::initializer_list<int> kRaceStatuses = {0, 15, 14};
constexpr int kKilled = -1;

int Uniform(std::mt19937& random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
}

microseconds UpTo(std::mt19937& random, microseconds limit) {
  return microseconds(Uniform(random, 0, static_cast<int>(limit.count())));
}

// `elements` raw blocks (type 00) of 1 to 12 random bytes: a GetResponse of
// that many element commands.
std::string SignData(std::mt19937& random, int elements) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string hex;
  for (int i = 0; i < elements; ++i) {
    const int length = Uniform(random, 1, 12);
    hex += "00";
    hex += kDigits[length >> 4];
    hex += kDigits[length & 0x0F];
    for (int j = 0; j < 2 * length; ++j) hex += kDigits[Uniform(random, 0, 15)];
  }
  return hex;
}

Args LongGetResponse(std::mt19937& random) {
  return {"get-response", SignData(random, Uniform(random, 60, 100)), "en"};
}

void PairRace(CStressLane& lane, std::mt19937& random) {
  static const std::vector<std::pair<Args, Args>> kPairs = {
      {{"get-mode2-response"}, {"get-mode2-response"}},
      {{"check-connection"}, {"get-mode1-response", "12345678", "0978", "000000012345"}},
      {{"get-mode1-response", "87654321", "", ""}, {"check-connection"}},
      {{"get-response", "0002CCDD", "en"}, {"get-mode2-response"}},
      {{"check-card", "en"}, {"get-mode2-response"}},
      {{"get-mode2-response"}, {"display-result", "6", "", "en"}},
  };
  const auto& [first, second] = kPairs[Uniform(random, 0, static_cast<int>(kPairs.size()) - 1)];
  const microseconds offset = UpTo(random, microseconds(10000));
  auto older = lane.Start(first);
  std::this_thread::sleep_for(offset);
  auto newer = lane.Start(second);
  lane.Finish(*older, "pair-race/first " + first[0], kRaceStatuses);
  lane.Finish(*newer, "pair-race/second " + second[0], kRaceStatuses);
}

void CancelMidRequest(CStressLane& lane, std::mt19937& random) {
  const Args request = LongGetResponse(random);
  // A little beyond the request's end too: a cancel with nothing pending.
  const microseconds delay = UpTo(random, lane.TransferTime() * 6 / 5);
  auto holder = lane.Start(request);
  std::this_thread::sleep_for(delay);
  auto cancel = lane.Start({"cancel"});
  lane.Finish(*cancel, "cancel/cancel", {0});
  lane.Finish(*holder, "cancel/get-response", {0, 15});
}

void KillHolder(CStressLane& lane, std::mt19937& random, CStressTally& tally) {
  std::unique_ptr<CTimedRequest> holder;
  std::string role;
  if (Uniform(random, 0, 1) == 0) {
    // Killed while the device waits for a customer who never comes.
    static const std::vector<Args> kWaiting = {
        {"get-mode2-response"},
        {"get-mode1-response", "12345678", "", ""},
        {"get-response", "0002CCDD", "en"},
    };
    const Args& request = kWaiting[Uniform(random, 0, static_cast<int>(kWaiting.size()) - 1)];
    lane.Control().Send("customer never");
    holder = lane.Start(request);
    role = "kill/waiting " + request[0];
    if (!lane.Control().StateShows("waiting=yes", std::chrono::seconds(10))) {
      lane.Finish(*holder, role, {});  // ended or stuck before the customer's turn
      return;
    }
    std::this_thread::sleep_for(UpTo(random, microseconds(20000)));
  } else {
    // Killed at any moment of a long transfer (or just after it).
    holder = lane.Start(LongGetResponse(random));
    role = "kill/transfer get-response";
    std::this_thread::sleep_for(UpTo(random, lane.TransferTime()));
  }
  const auto killedAt = Clock::now();
  const bool killed = holder->Kill();
  lane.Finish(*holder, role, {kKilled, 0});

  lane.Control().Send("customer approve " + std::to_string(kCustomerDelayMs));
  const Args newcomer =
      Uniform(random, 0, 1) == 0 ? Args{"get-mode2-response"} : Args{"check-connection"};
  auto next = lane.Start(newcomer);
  const RequestEnd end = lane.Finish(*next, "kill/newcomer " + newcomer[0], {0});
  if (killed) tally.NewcomerWait(end.ended - killedAt);
}

void CardPulls(CStressLane& lane, std::mt19937& random) {
  const int pulls = Uniform(random, 3, 12);
  for (int i = 0; i < pulls; ++i) {
    lane.Control().Send("insert");
    std::this_thread::sleep_for(UpTo(random, microseconds(2000)));
    lane.Control().Send("remove");
  }
  // The probe that follows is the request that must still be served.
  lane.Control().Send("insert");
}

}  // namespace

const char* ScenarioName(Scenario scenario) {
  switch (scenario) {
    case Scenario::kPairRace:
      return "pair-race";
    case Scenario::kCancelMidRequest:
      return "cancel-mid-request";
    case Scenario::kKillHolder:
      return "kill-holder";
    case Scenario::kCardPulls:
      return "card-pulls";
  }
  return "?";
}

void MeasureTransfer(CStressLane& lane, std::mt19937& random) {
  auto request = lane.Start({"get-response", SignData(random, 100), "en"});
  const RequestEnd end = request->Finish(kStuckBound);
  if (end.stuck || end.exitCode != 0)
    throw std::runtime_error(lane.Name() + ": a large GetResponse did not succeed: " + end.output);
  lane.SetTransferTime(std::chrono::duration_cast<microseconds>(end.ended - request->Started()));
}

void RunScenario(Scenario scenario, CStressLane& lane, std::mt19937& random, CStressTally& tally) {
  tally.CountScenario(ScenarioName(scenario));
  switch (scenario) {
    case Scenario::kPairRace:
      PairRace(lane, random);
      break;
    case Scenario::kCancelMidRequest:
      CancelMidRequest(lane, random);
      break;
    case Scenario::kKillHolder:
      KillHolder(lane, random, tally);
      break;
    case Scenario::kCardPulls:
      CardPulls(lane, random);
      break;
  }
  lane.Probe(ScenarioName(scenario));
}

}  // namespace qvx::bench
