#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <atomic>
#include <future>
#include <thread>

#include "SyncTestSupport.h"

namespace platform {
namespace {

using namespace qvx::testing;

class EventTest : public ObjectNamespaceTest {};

TEST_F(EventTest, ManualAndAutomaticReset) {
  struct Case {
    const char* name;
    bool manual;
  };
  const Case cases[] = {{nullptr, true},
                        {nullptr, false},
                        {"Global\\Meridel Quorvex2_Reader 0_cancel_event", true},
                        {"Local\\auto", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name ? c.name : "(unnamed)") + (c.manual ? " manual" : " auto"));
    HANDLE event = CreateEvent(nullptr, c.manual, false, c.name);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(SetEvent(event));  // setting twice stores no second signal
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));

    HANDLE initiallySet = CreateEvent(nullptr, c.manual, true, c.name);
    EXPECT_EQ(WaitForSingleObject(initiallySet, 0), WAIT_OBJECT_0);
    CloseHandle(initiallySet);
  }
}

TEST_F(EventTest, CreatingAnExistingEventKeepsItsTypeAndState) {
  const char* name = "Global\\shared";
  HANDLE first = CreateEvent(nullptr, true, false, name);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateEvent(nullptr, false, true, name);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);  // not set by the second create
  ASSERT_TRUE(SetEvent(first));
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);  // still manual reset
  CloseHandle(first);
  CloseHandle(second);
}

TEST_F(EventTest, OpenOfAMissingEventLeavesNothingBehind) {
  EXPECT_EQ(OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, "Global\\missing"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(GlobalFiles().empty());
  HANDLE created = CreateEvent(nullptr, true, false, "Global\\missing");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(created);
}

TEST_F(EventTest, AnEventEndsWithItsLastHandle) {
  const char* name = "Global\\transient";
  HANDLE first = CreateEvent(nullptr, true, true, name);
  HANDLE opened = OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, name);
  ASSERT_NE(opened, nullptr);
  EXPECT_FALSE(GlobalFiles().empty());
  CloseHandle(first);
  EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);  // alive through `opened`
  CloseHandle(opened);
  EXPECT_TRUE(GlobalFiles().empty());
  EXPECT_EQ(OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, name), nullptr);

  HANDLE again = CreateEvent(nullptr, true, false, name);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_TIMEOUT);
  CloseHandle(again);
}

TEST_F(EventTest, NamespacesAndNames) {
  HANDLE global = CreateEvent(nullptr, true, false, "Global\\x");
  HANDLE local = CreateEvent(nullptr, true, false, "x");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);  // another namespace
  HANDLE localAgain = CreateEvent(nullptr, true, false, "Local\\x");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  HANDLE dots = CreateEvent(nullptr, true, false, "Global\\../a/b%");
  ASSERT_NE(dots, nullptr);
  for (const std::string& file : GlobalFiles()) {
    EXPECT_EQ(file.find('/'), std::string::npos);
  }
  EXPECT_TRUE(std::filesystem::exists(ObjectNamespaceDirectory(true) + "/%2E.%2Fa%2Fb%25.event"));

  EXPECT_EQ(CreateEvent(nullptr, true, false, "Global\\"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(CreateEvent(nullptr, true, false, ("Global\\" + std::string(300, 'n')).c_str()),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  for (HANDLE h : {global, local, localAgain, dots}) {
    CloseHandle(h);
  }
}

TEST_F(EventTest, ObjectsAreOpenToEveryAccount) {
  const mode_t oldMask = ::umask(077);
  HANDLE event = CreateEvent(nullptr, true, false, "Global\\everyone");
  ::umask(oldMask);
  ASSERT_NE(event, nullptr);
  struct stat info {};
  ASSERT_EQ(::stat(ObjectNamespaceDirectory(true).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 01777u);
  for (const char* file : {"/everyone.event", "/everyone.ref", "/.lock"}) {
    ASSERT_EQ(::stat((ObjectNamespaceDirectory(true) + file).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u) << file;
  }
  CloseHandle(event);
}

TEST_F(EventTest, TheNamespaceDirectoryIsReadOnEveryCall) {
  HANDLE first = CreateEvent(nullptr, true, false, "Global\\moved");
  qvx::testing::PrivateDir other;
  ScopedEnv redirect("QVX_OBJECT_DIR", other.Path().c_str());
  HANDLE second = CreateEvent(nullptr, true, false, "Global\\moved");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(ObjectNamespaceDirectory(true), other.Path() + "/Global");
  CloseHandle(first);
  CloseHandle(second);
}

TEST_F(EventTest, ANamedEventSetByAnotherProcess) {
  const char* name = "Global\\Meridel Quorvex2_Reader 0_cancel_event";
  HANDLE event = CreateEvent(nullptr, true, false, name);
  ASSERT_NE(event, nullptr);
  const auto start = Clock::now();
  const pid_t child = StartChild([name] {
    HANDLE mine = OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, name);
    Sleep(100);
    return mine != nullptr && SetEvent(mine) ? 0 : 1;
  });
  ASSERT_GT(child, 0);
  EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
  EXPECT_GE(MsSince(start), 90);
  EXPECT_EQ(JoinChild(child), 0);
  CloseHandle(event);
}

TEST_F(EventTest, WaitForMultipleMixesNamedAndInProcessEvents) {
  HANDLE named = CreateEvent(nullptr, false, false, "Global\\mixed");
  HANDLE local = CreateEvent(nullptr, false, false, nullptr);
  const HANDLE both[] = {named, local};

  ASSERT_TRUE(SetEvent(local));
  EXPECT_EQ(WaitForMultipleObjects(2, both, false, 0), WAIT_OBJECT_0 + 1);
  ASSERT_TRUE(SetEvent(named));
  ASSERT_TRUE(SetEvent(local));
  EXPECT_EQ(WaitForMultipleObjects(2, both, false, 0), WAIT_OBJECT_0);  // lowest index first
  EXPECT_EQ(WaitForMultipleObjects(2, both, false, 0), WAIT_OBJECT_0 + 1);

  const auto start = Clock::now();
  std::thread setter([named] {
    Sleep(60);
    SetEvent(named);
  });
  EXPECT_EQ(WaitForMultipleObjects(2, both, false, 10000), WAIT_OBJECT_0);
  EXPECT_GE(MsSince(start), 50);
  setter.join();
  CloseHandle(named);
  CloseHandle(local);
}

TEST_F(EventTest, TimeLimits) {
  HANDLE named = CreateEvent(nullptr, true, false, "Global\\never");
  HANDLE local = CreateEvent(nullptr, true, false, nullptr);
  for (HANDLE h : {named, local}) {
    const auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(h, 120), WAIT_TIMEOUT);
    EXPECT_GE(MsSince(start), 120);
    EXPECT_LT(MsSince(start), 2000);
  }
  CloseHandle(named);
  CloseHandle(local);
}

TEST_F(EventTest, EachSetOfAnAutomaticEventReleasesOneWaiter) {
  HANDLE creator = CreateEvent(nullptr, false, false, "Global\\one-at-a-time");
  HANDLE local = CreateEvent(nullptr, false, false, nullptr);
  for (bool named : {true, false}) {
    SCOPED_TRACE(named ? "named" : "in-process");
    HANDLE handles[2] = {
        named ? OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, "Global\\one-at-a-time") : local,
        named ? OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, "Global\\one-at-a-time")
              : local};
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (HANDLE h : handles) {
      waiters.emplace_back([h, &woken] {
        if (WaitForSingleObject(h, 10000) == WAIT_OBJECT_0) {
          ++woken;
        }
      });
    }
    Sleep(50);
    SetEvent(named ? creator : local);
    Sleep(300);
    EXPECT_EQ(woken.load(), 1);
    SetEvent(named ? creator : local);
    for (std::thread& t : waiters) {
      t.join();
    }
    EXPECT_EQ(woken.load(), 2);
    EXPECT_EQ(WaitForSingleObject(named ? creator : local, 0), WAIT_TIMEOUT);
    if (named) {
      CloseHandle(handles[0]);
      CloseHandle(handles[1]);
    }
  }
  CloseHandle(creator);
  CloseHandle(local);
}

TEST_F(EventTest, PollDescriptorIsReadableWhileSignalled) {
  HANDLE named = CreateEvent(nullptr, true, false, "Global\\polled");
  HANDLE local = CreateEvent(nullptr, true, false, nullptr);
  for (HANDLE h : {named, local}) {
    pollfd descriptor{PollDescriptor(h), POLLIN, 0};
    ASSERT_GE(descriptor.fd, 0);
    EXPECT_EQ(::poll(&descriptor, 1, 0), 0);
    SetEvent(h);
    EXPECT_EQ(::poll(&descriptor, 1, 0), 1);
    CloseHandle(h);
  }
}

TEST_F(EventTest, BadHandles) {
  HANDLE mutex = CreateMutex(nullptr, false, nullptr);
  struct Case {
    const char* what;
    bool ok;
  };
  const Case cases[] = {{"SetEvent(nullptr)", SetEvent(nullptr)},
                        {"ResetEvent(mutex)", ResetEvent(mutex)},
                        {"SetEvent(mutex)", SetEvent(mutex)}};
  for (const Case& c : cases) {
    EXPECT_FALSE(c.ok) << c.what;
  }
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(PollDescriptor(mutex), -1);
  EXPECT_TRUE(CloseHandle(mutex));
  EXPECT_FALSE(CloseHandle(mutex));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForMultipleObjects(0, nullptr, false, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  HANDLE mutexName = CreateMutex(nullptr, false, "Global\\taken-name");
  EXPECT_EQ(CreateEvent(nullptr, true, false, "Global\\taken-name"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(mutexName);
}

TEST_F(EventTest, AProcessThatDiesHoldingTheNamespaceLockBlocksNobody) {
  HANDLE first = CreateEvent(nullptr, true, false, "Global\\before");  // makes the directory
  ASSERT_NE(first, nullptr);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const std::string lockFile = ObjectNamespaceDirectory(true) + "/.lock";
  const pid_t child = StartChild([&] {
    const int fd = ::open(lockFile.c_str(), O_RDWR);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) {
      return 1;
    }
    (void)!::write(ready[1], "x", 1);
    ::pause();
    return 0;
  });
  ASSERT_GT(child, 0);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);

  auto created = std::async(std::launch::async,
                            [] { return CreateEvent(nullptr, true, false, "Global\\after"); });
  EXPECT_EQ(created.wait_for(std::chrono::milliseconds(150)), std::future_status::timeout);
  ::kill(child, SIGKILL);
  EXPECT_EQ(JoinChild(child), -1);
  ASSERT_EQ(created.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  HANDLE after = created.get();
  EXPECT_NE(after, nullptr);
  CloseHandle(after);
  CloseHandle(first);
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
}  // namespace platform
