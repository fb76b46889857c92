#include "StressTally.h"

#include <algorithm>
#include <cstdio>

namespace qvx::bench {

namespace {

constexpr const char* kName = "stress";

bool Verdict(const char* what, std::size_t count) {
  std::printf("%s: %s %zu (target 0): %s\n", kName, what, count, count == 0 ? "met" : "MISSED");
  return count == 0;
}

}  // namespace

void CStressTally::Unexpected(const std::string& who, const std::string& detail) {
  ++m_unexpected;
  std::printf("%s: UNEXPECTED %s: %s\n", kName, who.c_str(), detail.c_str());
  std::fflush(stdout);
}

void CStressTally::Desynchronised(const std::string& where, const std::string& detail) {
  ++m_desynchronised;
  std::printf("%s: DESYNCHRONISED after %s: %s\n", kName, where.c_str(), detail.c_str());
  std::fflush(stdout);
}

void CStressTally::Stuck(const std::string& who) {
  ++m_stuck;
  std::printf("%s: STUCK %s: killed at the bound\n", kName, who.c_str());
  std::fflush(stdout);
}

void CStressTally::NewcomerWait(std::chrono::duration<double> wait) {
  ++m_newcomers;
  m_longestWait = std::max(m_longestWait, wait.count());
  if (wait.count() >= kNewcomerWaitLimit) {
    std::printf("%s: LONG WAIT %.3f s for a newcomer after a holder was killed\n", kName,
                wait.count());
    std::fflush(stdout);
  }
}

bool CStressTally::Report(double seconds) const {
  std::printf("%s: %.0f s, %zu requests, %zu stack restarts\n", kName, seconds, m_requests,
              m_restarts);
  for (const auto& [scenario, count] : m_scenarios)
    std::printf("%s: scenario %s ran %zu times\n", kName, scenario.c_str(), count);
  for (const auto& [who, statuses] : m_outcomes) {
    std::string line;
    for (const auto& [status, count] : statuses) {
      line += " " + (status < 0 ? std::string("killed") : "status " + std::to_string(status)) +
              " x" + std::to_string(count);
    }
    std::printf("%s: outcomes %s:%s\n", kName, who.c_str(), line.c_str());
  }
  bool met = Verdict("desynchronisations", m_desynchronised);
  met = Verdict("stuck requests", m_stuck) && met;
  met = Verdict("outcomes outside the rules", m_unexpected) && met;
  const bool waitMet = m_longestWait < kNewcomerWaitLimit;
  std::printf("%s: longest newcomer wait %.3f s over %zu killed holders (target < %.0f s): %s\n",
              kName, m_longestWait, m_newcomers, kNewcomerWaitLimit, waitMet ? "met" : "MISSED");
  std::fflush(stdout);
  return met && waitMet;
}

}  // namespace qvx::bench
