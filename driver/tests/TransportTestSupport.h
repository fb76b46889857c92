// Shared pieces of the transport tests: a recorder of card events, a
// capture of debug lines and a watchdog that turns a hang into a failure.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kernel/DebugPrint.h"
#include "transport/CardEvents.h"

namespace qvxrdr::testing {

class RecordingCardEvents final : public ICardEvents {
 public:
  void OnCardStatus(bool inserted) override {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.push_back(inserted ? "inserted" : "removed");
  }
  void OnReadFailed() override {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.push_back("read failed");
  }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> calls_;
};

// Captures DbgPrint lines while alive.
class DebugCapture {
 public:
  DebugCapture() { SetDebugSink(&DebugCapture::Sink, this); }
  ~DebugCapture() { SetDebugSink(nullptr, nullptr); }
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> guard(mutex_);
    return lines_;
  }
  std::size_t Count(const std::string& line) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::size_t count = 0;
    for (const std::string& captured : lines_) {
      count += captured == line ? 1 : 0;
    }
    return count;
  }
  bool WaitForCount(const std::string& line, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Count(line) < count) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

 private:
  static void Sink(void* context, const char* line) {
    auto* self = static_cast<DebugCapture*>(context);
    std::lock_guard<std::mutex> guard(self->mutex_);
    self->lines_.emplace_back(line);
  }

  std::mutex mutex_;
  std::vector<std::string> lines_;
};

// A blocking call that never returns would stall the whole run; this ends
// the process with a message instead.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit = std::chrono::seconds(20))
      : thread_([this, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_.wait_for(lock, limit, [this] { return disarmed_; })) {
            std::fprintf(stderr, "watchdog: %s hangs\n",
                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      disarmed_ = true;
    }
    done_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool disarmed_ = false;
  std::thread thread_;
};

}  // namespace qvxrdr::testing
