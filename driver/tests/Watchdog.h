// A watchdog for the driver's suites that block on the device.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace qvx::testing {

// A blocking call that never returns would stall the whole run; this ends
// the process with a message instead.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit = std::chrono::seconds(20))
      : m_thread([this, limit] {
          std::unique_lock<std::mutex> lock(m_mutex);
          if (!m_done.wait_for(lock, limit, [this] { return m_disarmed; })) {
            std::fprintf(stderr, "watchdog: %s hangs\n",
                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_disarmed = true;
    }
    m_done.notify_all();
    m_thread.join();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_disarmed = false;
  std::thread m_thread;
};

}  // namespace qvx::testing
