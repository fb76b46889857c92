// Waiting for a condition in tests: polled, with a deadline, never a bare
// sleep.
#pragma once

#include <chrono>
#include <thread>

namespace qvx::testing {

// Polls `condition` every 20 ms for up to `limit`; whether it came true.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace qvx::testing
