// Every test process of the reader access runs in a private directory: the
// named-object namespace, the registry, the device root and the plug-in's
// log all live there (set up before the first test, removed after the last).
#pragma once

#include <chrono>
#include <string>
#include <thread>

namespace qvxtest {

const std::string& ReaderTestDir();
// The plug-in's log so far.
std::string PluginLog();

// Polls `condition` every 5 ms for up to `limit`.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace qvxtest
