// Events, the pending-I/O count, the remove lock and debug output.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "TransportTestSupport.h"
#include "kernel/DebugPrint.h"
#include "kernel/Event.h"
#include "kernel/PendingIo.h"
#include "kernel/RemoveLock.h"
#include "platform/Sync.h"

namespace qvxrdr {
namespace {

using namespace std::chrono_literals;

TEST(KernelTest, SynchronizationEventsResetOnWaitNotificationEventsStay) {
  struct Case {
    EventType type;
    NTSTATUS secondWait;
  };
  for (const Case& c : {Case{EventType::Synchronization, STATUS_TIMEOUT},
                        Case{EventType::Notification, STATUS_SUCCESS}}) {
    KEvent event(c.type, false);
    EXPECT_EQ(event.Wait(0), STATUS_TIMEOUT);
    event.Set();
    EXPECT_EQ(event.Wait(0), STATUS_SUCCESS);
    EXPECT_EQ(event.Wait(0), c.secondWait);
    event.Clear();
    EXPECT_EQ(event.Wait(0), STATUS_TIMEOUT);
  }
}

TEST(KernelTest, WaitAnyReportsTheLowestSignalledIndex) {
  KEvent a(EventType::Notification, false);
  KEvent b(EventType::Notification, false);
  KEvent c(EventType::Notification, false);
  EXPECT_EQ(KEvent::WaitAny({&a, &b, &c}, 10), STATUS_TIMEOUT);
  c.Set();
  b.Set();
  EXPECT_EQ(KEvent::WaitAny({&a, &b, &c}, 0), STATUS_WAIT_0 + 1);

  // A platform event waits together with a KEvent; a set from another thread wakes it.
  platform::HANDLE other = platform::CreateEvent(false, false, nullptr);
  ASSERT_NE(other, nullptr);
  auto setter = std::async(std::launch::async, [other] {
    std::this_thread::sleep_for(20ms);
    platform::SetEvent(other);
  });
  EXPECT_EQ(KEvent::WaitAnyHandle({a.Handle(), other}, 5000), STATUS_WAIT_0 + 1);
  setter.get();
  platform::CloseHandle(other);
}

TEST(KernelTest, IdleEventFollowsTheCountBetweenOneAndTwo) {
  PendingIoCount count;
  count.Enter();
  EXPECT_EQ(count.IdleEvent().Wait(0), STATUS_TIMEOUT);
  count.Enter();
  count.Leave();
  EXPECT_EQ(count.IdleEvent().Wait(0), STATUS_TIMEOUT) << "3 -> 2 is still busy";

  // A query-remove waits here until the last request leaves.
  auto waiter = std::async(std::launch::async, [&count] { return count.IdleEvent().Wait(5000); });
  EXPECT_EQ(waiter.wait_for(50ms), std::future_status::timeout);
  count.Leave();
  EXPECT_EQ(waiter.get(), STATUS_SUCCESS);

  {
    PendingIoScope scope(count);
    EXPECT_EQ(count.Count(), 2);
  }
  EXPECT_EQ(count.Count(), 1);
}

TEST(KernelTest, RemoveLockWaitsForHoldsAndRefusesNewOnes) {
  RemoveLock lock;
  RemoveLockHold pnp(lock, "PnP");
  ASSERT_TRUE(pnp.Held());
  auto request = std::make_unique<RemoveLockHold>(lock, "Ioct");
  ASSERT_TRUE(request->Held());

  std::atomic<bool> removed{false};
  std::thread removal([&] {
    pnp.ReleaseAndWait();
    removed = true;
  });
  while (!lock.Removed()) {
    std::this_thread::yield();
  }
  EXPECT_EQ(lock.Acquire("Ioct"), STATUS_DELETE_PENDING);
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(removed.load()) << "removal must wait for the running request";
  request.reset();
  removal.join();
  EXPECT_TRUE(removed.load());
  EXPECT_FALSE(pnp.Held());
  EXPECT_EQ(RemoveLockHold(lock, "Pow").Status(), STATUS_DELETE_PENDING);
}

TEST(KernelTest, DebugLinesGoToTheSink) {
  testing::DebugCapture capture;
  DbgPrint("Meridel driver %s %s", "1.0.2.4", "x");
  EXPECT_EQ(capture.Lines(), std::vector<std::string>{"Meridel driver 1.0.2.4 x"});
}

}  // namespace
}  // namespace qvxrdr
