// What a stress run counts: requests, how each ended per scenario and role,
// the faults (desynchronised device, stuck request, an outcome the reader
// channel's rules do not allow) and the newcomers' waits after a holder was
// killed.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

namespace qvx::bench {

class CStressTally {
 public:
  void CountRequest() { ++m_requests; }
  // `who` is "scenario/role"; status -1 is a request killed by a signal.
  void CountOutcome(const std::string& who, int status) { ++m_outcomes[who][status]; }
  // Each fault also prints one line at once, so a long run shows it early.
  void Unexpected(const std::string& who, const std::string& detail);
  void Desynchronised(const std::string& where, const std::string& detail);
  void Stuck(const std::string& who);
  void NewcomerWait(std::chrono::duration<double> wait);
  void CountScenario(const std::string& name) { ++m_scenarios[name]; }
  void CountRestart() { ++m_restarts; }

  // Prints the figures and a verdict per target; true when all were met.
  bool Report(double seconds) const;

 private:
  std::size_t m_requests = 0;
  std::map<std::string, std::map<int, std::size_t>> m_outcomes;
  std::map<std::string, std::size_t> m_scenarios;
  std::size_t m_unexpected = 0;
  std::size_t m_desynchronised = 0;
  std::size_t m_stuck = 0;
  std::size_t m_restarts = 0;
  std::size_t m_newcomers = 0;
  double m_longestWait = 0;
};

// The time limit of a newcomer after a holder was killed, in seconds.
constexpr double kNewcomerWaitLimit = 1.0;

}  // namespace qvx::bench
