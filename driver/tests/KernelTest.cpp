// Events, the pending-I/O count, the remove lock and debug output.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "DebugCapture.h"
#include "kernel/DebugPrint.h"
#include "kernel/Event.h"
#include "kernel/PendingIo.h"
#include "kernel/RemoveLock.h"
#include "platform/Sync.h"

namespace qvx::driver {
namespace {

using namespace std::chrono_literals;

// The platform's events are tested with the platform; these check what
// KEvent adds: the event type and first state it asks for, and the
// translation of every wait answer into a status.
TEST(KernelTest, EventsAreCreatedWithTheirTypeAndFirstState) {
  KEvent synchronization(EventType::Synchronization, true);
  EXPECT_EQ(synchronization.Wait(0), STATUS_SUCCESS);
  EXPECT_EQ(synchronization.Wait(0), STATUS_TIMEOUT) << "a satisfied wait clears it";

  KEvent notification(EventType::Notification, true);
  EXPECT_EQ(notification.Wait(0), STATUS_SUCCESS);
  EXPECT_EQ(notification.Wait(0), STATUS_SUCCESS) << "stays until cleared";
  notification.Clear();
  EXPECT_EQ(notification.Wait(0), STATUS_TIMEOUT);
  notification.Set();
  EXPECT_EQ(notification.Wait(0), STATUS_SUCCESS);
}

TEST(KernelTest, WaitAnswersBecomeStatuses) {
  KEvent a(EventType::Notification, false);
  KEvent b(EventType::Notification, false);
  KEvent c(EventType::Synchronization, false);
  EXPECT_EQ(KEvent::WaitAny({&a, &b, &c}, 0), STATUS_TIMEOUT);
  c.Set();
  b.Set();
  EXPECT_EQ(KEvent::WaitAny({&a, &b, &c}, 0), STATUS_WAIT_0 + 1) << "the lowest index wins";
  b.Clear();
  EXPECT_EQ(KEvent::WaitAny({&a, &b, &c}, 0), STATUS_WAIT_0 + 2);

  // A KEvent's handle waits together with a platform event.
  platform::HANDLE other = CreateEvent(nullptr, false, true, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(WaitAnyObject({a.Object(), other}, 0), STATUS_WAIT_0 + 1);
  EXPECT_EQ(WaitAnyObject({a.Object(), other}, 0), STATUS_TIMEOUT);
  CloseHandle(other);

  // A wait the platform refuses is a failure, never an index or a timeout.
  EXPECT_EQ(WaitAnyObject({a.Object(), nullptr}, 0), STATUS_UNSUCCESSFUL);
}

TEST(KernelTest, WaitSignalledObjectLeavesTheEventForTheNextWaiter) {
  KEvent idle(EventType::Synchronization, false);
  KEvent automatic(EventType::Synchronization, true);
  EXPECT_EQ(WaitSignalledObject({idle.Object(), automatic.Object()}, 0), STATUS_WAIT_0 + 1);
  EXPECT_EQ(WaitSignalledObject({automatic.Object()}, 0), STATUS_WAIT_0);
  EXPECT_EQ(automatic.Wait(0), STATUS_SUCCESS) << "still signalled for a real wait";
  EXPECT_EQ(WaitSignalledObject({automatic.Object()}, 0), STATUS_TIMEOUT);
  EXPECT_EQ(WaitSignalledObject({automatic.Object(), nullptr}, 0), STATUS_UNSUCCESSFUL);
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
  qvx::testing::DebugCapture capture;
  DbgPrint("Meridel driver %s %s", "1.0.2.4", "x");
  EXPECT_EQ(capture.Lines(), std::vector<std::string>{"Meridel driver 1.0.2.4 x"});
}

}  // namespace
}  // namespace qvx::driver
