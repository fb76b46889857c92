#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "TestSupport.h"
#include "brixon/Error.h"
#include "brixon/Signal.h"
#include "brixon/SystemCS.h"

namespace {

using namespace qvx::brixon;
using Clock = std::chrono::steady_clock;

constexpr const char* kMutex = "Global\\qvx-systemcs-test";

// The device mutex held by another thread, as another process would hold
// it (a Windows mutex belongs to the thread that owns it).
class Holder {
 public:
  Holder() : m_thread([this] { Run(); }) { m_owned.get_future().wait(); }
  ~Holder() { End(Ending::Release); }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

  void Release() { End(Ending::Release); }
  // Dies holding it: its handle closed and its thread ended, unreleased.
  void Abandon() { End(Ending::Die); }

 private:
  enum class Ending { Release, Die };

  void Run() {
    const platform::HANDLE mutex = CreateMutex(nullptr, true, kMutex);
    m_owned.set_value();
    if (m_ending.get_future().get() == Ending::Release) ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
  void End(Ending ending) {
    if (!m_thread.joinable()) return;
    m_ending.set_value(ending);
    m_thread.join();
  }

  std::promise<void> m_owned;
  std::promise<Ending> m_ending;
  std::thread m_thread;
};

TEST(SystemCSTest, AHolderThatNeverGivesWayIsAskedOnceAndTheNewcomerTimesOut) {
  Holder holder;
  CSignal cancel(true, false);
  const Clock::time_point start = Clock::now();
  try {
    CSystemCS exclusive(kMutex, &cancel);
    FAIL() << "got a mutex that is held";
  } catch (const CError& e) {
    EXPECT_EQ(e.Message(), "Timeout while trying to get exclusive access to the Quorvex2.");
    EXPECT_EQ(e.GetStatus(), 1);
    EXPECT_EQ(e.GetOrigin(), "Driver/QVX");
  }
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1900));
  EXPECT_TRUE(cancel.IsSet());
}

TEST(SystemCSTest, AHolderThatGivesWayOnTheCancelSignalHandsTheDeviceOver) {
  CSignal cancel(true, false);
  Holder holder;
  std::thread driver([&] {
    // The driver ends the holder's operation; the holder then lets go.
    if (cancel.Wait(10000)) holder.Release();
  });
  const Clock::time_point start = Clock::now();
  {
    CSystemCS exclusive(kMutex, &cancel);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190)) << "asked only after 200 ms";
    EXPECT_FALSE(exclusive.WasAbandoned());
  }
  driver.join();
}

TEST(SystemCSTest, AFreeMutexIsTakenWithoutDisturbingAnyone) {
  CSignal cancel(true, false);
  { CSystemCS exclusive(kMutex, &cancel); }
  { CSystemCS again(kMutex, &cancel); }
  EXPECT_FALSE(cancel.IsSet());
}

TEST(SystemCSTest, AHolderThatDiedDoesNotLockTheDeviceForGood) {
  Holder holder;
  // Someone waits for the device meanwhile, so the mutex outlives its holder.
  platform::HANDLE waiter = CreateMutex(nullptr, false, kMutex);
  holder.Abandon();
  CSignal cancel(true, false);
  {
    CSystemCS first(kMutex, &cancel);
    EXPECT_TRUE(first.WasAbandoned());
    EXPECT_TRUE(cancel.IsSet()) << "the dead holder's device request is ended";
  }
  cancel.Reset();
  CSystemCS next(kMutex, &cancel);
  EXPECT_FALSE(cancel.IsSet()) << "a properly released mutex cancels nothing";
  EXPECT_FALSE(next.WasAbandoned()) << "released properly by the one that took over";
  EXPECT_NE(qvx::testing::PluginLog().find("found the mutex abandoned"), std::string::npos);
  CloseHandle(waiter);
}

}  // namespace
