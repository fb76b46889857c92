// A private object namespace per test, and small timing helpers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "PlatformTestSupport.h"
#include "platform/Sync.h"
#include "platform/System.h"

namespace qvx::testing {

class ObjectNamespaceTest : public ::testing::Test {
 protected:
  PrivateDir m_temp;
  ScopedEnv m_objects{"QVX_OBJECT_DIR", m_temp / "objects"};

  // Files in the global namespace directory, apart from its lock.
  std::vector<std::string> GlobalFiles() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(platform::ObjectNamespaceDirectory(true), ignored)) {
      if (entry.path().filename() != ".lock") {
        names.push_back(entry.path().filename().string());
      }
    }
    return names;
  }
};

using Clock = std::chrono::steady_clock;

inline long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace qvx::testing
