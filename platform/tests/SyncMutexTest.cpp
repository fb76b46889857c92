#include <thread>

#include "SyncTestSupport.h"

namespace platform {
namespace {

using namespace qvx::testing;

const char kDeviceMutex[] = "Global\\Quorvex2-device";

class MutexTest : public ObjectNamespaceTest {};

TEST_F(MutexTest, TwoHandlesOfOneNameExcludeEachOther) {
  HANDLE first = CreateMutex(nullptr, false, kDeviceMutex);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateMutex(nullptr, false, kDeviceMutex);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);

  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT);  // not recursive
  EXPECT_FALSE(ReleaseMutex(second));
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
  EXPECT_TRUE(ReleaseMutex(first));
  EXPECT_FALSE(ReleaseMutex(first));
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(second));
  CloseHandle(first);
  CloseHandle(second);
}

TEST_F(MutexTest, InitialOwnerOnlyForTheCreator) {
  for (const char* name : {kDeviceMutex, static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(name ? name : "(unnamed)");
    HANDLE owner = CreateMutex(nullptr, true, name);
    ASSERT_NE(owner, nullptr);
    std::thread([owner] { EXPECT_EQ(WaitForSingleObject(owner, 50), WAIT_TIMEOUT); }).join();
    if (name != nullptr) {
      HANDLE late = CreateMutex(nullptr, true, name);  // exists: no ownership, as on Windows
      EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
      EXPECT_FALSE(ReleaseMutex(late));
      CloseHandle(late);
    }
    // Any thread may release what the handle owns.
    std::thread([owner] { EXPECT_TRUE(ReleaseMutex(owner)); }).join();
    EXPECT_EQ(WaitForSingleObject(owner, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(owner));
    CloseHandle(owner);
  }
}

TEST_F(MutexTest, TimeLimitedWait) {
  HANDLE holder = CreateMutex(nullptr, true, kDeviceMutex);
  HANDLE waiter = CreateMutex(nullptr, false, kDeviceMutex);
  auto start = Clock::now();
  EXPECT_EQ(WaitForSingleObject(waiter, 200), WAIT_TIMEOUT);
  EXPECT_GE(MsSince(start), 200);
  EXPECT_LT(MsSince(start), 2000);

  start = Clock::now();
  std::thread releaser([holder] {
    Sleep(100);
    ReleaseMutex(holder);
  });
  EXPECT_EQ(WaitForSingleObject(waiter, 10000), WAIT_OBJECT_0);
  EXPECT_GE(MsSince(start), 90);
  releaser.join();
  ReleaseMutex(waiter);
  CloseHandle(holder);
  CloseHandle(waiter);
}

TEST_F(MutexTest, AnotherProcessIsExcluded) {
  HANDLE holder = CreateMutex(nullptr, true, kDeviceMutex);
  const pid_t child = StartChild([] {
    HANDLE mine = CreateMutex(nullptr, false, kDeviceMutex);
    return mine != nullptr && GetLastError() == ERROR_ALREADY_EXISTS &&
                   WaitForSingleObject(mine, 100) == WAIT_TIMEOUT
               ? 0
               : 1;
  });
  EXPECT_EQ(JoinChild(child), 0);
  ReleaseMutex(holder);
  CloseHandle(holder);
}

TEST_F(MutexTest, AbandonedWhenTheOwnerDies) {
  HANDLE mine = CreateMutex(nullptr, false, kDeviceMutex);  // keeps the mutex alive
  const pid_t child = StartChild([] {
    HANDLE owner = CreateMutex(nullptr, false, kDeviceMutex);
    return owner != nullptr && WaitForSingleObject(owner, 0) == WAIT_OBJECT_0 ? 0 : 1;
  });
  ASSERT_EQ(JoinChild(child), 0);  // ended without releasing

  EXPECT_EQ(WaitForSingleObject(mine, 5000), WAIT_ABANDONED);
  EXPECT_TRUE(ReleaseMutex(mine));                         // owned all the same
  EXPECT_EQ(WaitForSingleObject(mine, 0), WAIT_OBJECT_0);  // released properly now
  ReleaseMutex(mine);
  CloseHandle(mine);
}

TEST_F(MutexTest, ClosingAnOwningHandleAbandonsTheMutex) {
  HANDLE owner = CreateMutex(nullptr, true, kDeviceMutex);
  HANDLE other = CreateMutex(nullptr, false, kDeviceMutex);
  CloseHandle(owner);
  const HANDLE set[] = {CreateEvent(nullptr, true, false, nullptr), other};
  EXPECT_EQ(WaitForMultipleObjects(2, set, false, 1000), WAIT_ABANDONED + 1);
  ReleaseMutex(other);
  CloseHandle(other);
  CloseHandle(set[0]);

  // With its last handle gone the mutex ended; a new one starts clean.
  HANDLE fresh = CreateMutex(nullptr, false, kDeviceMutex);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_OBJECT_0);
  ReleaseMutex(fresh);
  CloseHandle(fresh);
  EXPECT_TRUE(GlobalFiles().empty());
}

TEST_F(MutexTest, WaitAnyOverMutexesAndEvents) {
  HANDLE holder = CreateMutex(nullptr, true, kDeviceMutex);
  HANDLE waiter = CreateMutex(nullptr, false, kDeviceMutex);
  HANDLE cancel = CreateEvent(nullptr, true, false, "Global\\cancel");
  const HANDLE set[] = {waiter, cancel};

  std::thread canceller([cancel] {
    Sleep(50);
    SetEvent(cancel);
  });
  const auto start = Clock::now();
  EXPECT_EQ(WaitForMultipleObjects(2, set, false, 10000), WAIT_OBJECT_0 + 1);
  EXPECT_GE(MsSince(start), 40);
  canceller.join();

  ReleaseMutex(holder);
  EXPECT_EQ(WaitForMultipleObjects(2, set, false, 0), WAIT_OBJECT_0);
  ReleaseMutex(waiter);
  for (HANDLE h : {holder, waiter, cancel}) {
    CloseHandle(h);
  }
}

TEST_F(MutexTest, WaitAllGivesBackWhatItTookOnTimeout) {
  HANDLE holder = CreateMutex(nullptr, true, kDeviceMutex);
  HANDLE waiter = CreateMutex(nullptr, false, kDeviceMutex);
  HANDLE autoEvent = CreateEvent(nullptr, false, true, nullptr);
  HANDLE local = CreateMutex(nullptr, false, nullptr);
  const HANDLE set[] = {autoEvent, local, waiter};

  const auto start = Clock::now();
  EXPECT_EQ(WaitForMultipleObjects(3, set, true, 100), WAIT_TIMEOUT);
  EXPECT_GE(MsSince(start), 100);
  EXPECT_FALSE(ReleaseMutex(local));                            // given back
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0);  // set again
  SetEvent(autoEvent);

  ReleaseMutex(holder);
  EXPECT_EQ(WaitForMultipleObjects(3, set, true, 1000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);  // consumed
  EXPECT_TRUE(ReleaseMutex(local));
  EXPECT_TRUE(ReleaseMutex(waiter));
  for (HANDLE h : {holder, waiter, autoEvent, local}) {
    CloseHandle(h);
  }
}

}  // namespace
}  // namespace platform
