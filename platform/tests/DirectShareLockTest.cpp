// The direct-share lock as a newcomer finds it: free, released, held by a
// live connection, or left behind by a holder that died.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "SyncTestSupport.h"
#include "contract/ReaderName.h"
#include "platform/PcscResults.h"
#include "platform/linux/DirectShareLock.h"

namespace platform {
namespace {

using pcsc_result::kSharingViolation;
using pcsc_result::kSuccess;
using qvx::testing::JoinChild;
using qvx::testing::ObjectNamespaceTest;
using qvx::testing::StartChild;

const char kReader[] = "Meridel Quorvex2_Reader 00 00";

std::string LockName() { return std::string("Global\\") + DirectShareLockPrefix() + kReader; }

// Plays the driver's cancel watcher: counts the sets of the reader's cancel
// event and resets it once its "abort" is out. The event is manual-reset as
// the driver and the service make it, or automatic-reset as the plug-in
// does when it comes first.
class Watcher {
 public:
  explicit Watcher(bool manualReset)
      : m_event(CreateEvent(nullptr, manualReset, false,
                            qvx::contract::CancelEventName(kReader).c_str())),
        m_stop(CreateEvent(nullptr, true, false, nullptr)) {}
  ~Watcher() {
    SetEvent(m_stop);
    if (m_thread.joinable()) m_thread.join();
    CloseHandle(m_stop);
    CloseHandle(m_event);
  }
  // Started only after any forked child has ended (no threads across fork).
  void Start() {
    m_thread = std::thread([this] {
      const HANDLE objects[] = {m_event, m_stop};
      while (WaitForMultipleObjects(2, objects, false, INFINITE) == WAIT_OBJECT_0) {
        ++m_sets;
        ResetEvent(m_event);
      }
    });
  }
  int Sets() const { return m_sets.load(); }
  // A manual-reset event is reset only after the count, so the count is
  // final when the newcomer returns; an automatic-reset one is reset by the
  // watcher's wait, just before the count.
  int SettledSets(int expected) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (m_sets.load() != expected && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return m_sets.load();
  }

 private:
  HANDLE m_event;
  HANDLE m_stop;
  std::atomic<int> m_sets{0};
  std::thread m_thread;
};

// A holder in another process that ends without releasing the lock.
void HolderDies() {
  const pid_t child = StartChild([] {
    ::LONG failure = 0;
    return TakeDirectShareLock(kReader, &failure) != nullptr ? 0 : 1;
  });
  ASSERT_EQ(JoinChild(child), 0);
}

struct Case {
  const char* name;
  // Sets the scene; returns a handle the case keeps open (or nullptr).
  std::function<HANDLE()> before;
  ::LONG expectedFailure;
  int expectedSets;
};

class DirectShareLockTest : public ObjectNamespaceTest {};

TEST_F(DirectShareLockTest, TheNewcomerCancelsOnlyWhatADeadHolderLeftPending) {
  const Case cases[] = {
      {"free", [] { return HANDLE{nullptr}; }, kSuccess, 0},
      {"released cleanly",
       [] {
         ::LONG failure = 0;
         ReleaseDirectShareLock(TakeDirectShareLock(kReader, &failure));
         return HANDLE{nullptr};
       },
       kSuccess, 0},
      {"held by a live connection",
       [] {
         ::LONG failure = 0;
         return TakeDirectShareLock(kReader, &failure);
       },
       kSharingViolation, 0},
      {"holder died alone (the lock ended with it)",
       [] {
         HolderDies();
         return HANDLE{nullptr};
       },
       kSuccess, 1},
      {"holder died while another handle kept the lock (abandoned)",
       [] {
         HANDLE other = CreateMutex(nullptr, false, LockName().c_str());
         HolderDies();
         return other;
       },
       kSuccess, 1},
  };
  for (const bool manualReset : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) +
                   (manualReset ? ", manual-reset event" : ", automatic-reset event"));
      Watcher watcher(manualReset);
      const HANDLE kept = c.before();
      watcher.Start();

      ::LONG failure = -1;
      const HANDLE lock = TakeDirectShareLock(kReader, &failure);
      EXPECT_EQ(failure, c.expectedFailure);
      EXPECT_EQ(lock != nullptr, c.expectedFailure == kSuccess);
      // Take returns only once the watcher has the event.
      if (manualReset) {
        EXPECT_EQ(watcher.Sets(), c.expectedSets);
      } else {
        EXPECT_EQ(watcher.SettledSets(c.expectedSets), c.expectedSets);
      }

      ReleaseDirectShareLock(lock);
      if (kept != nullptr) {
        ReleaseMutex(kept);  // fails harmlessly when the handle owns nothing
        CloseHandle(kept);
      }
      // Whatever happened, a clean release leaves nothing for the next one.
      ::LONG next = -1;
      const HANDLE again = TakeDirectShareLock(kReader, &next);
      EXPECT_EQ(next, kSuccess);
      ReleaseDirectShareLock(again);
      EXPECT_EQ(watcher.Sets(), c.expectedSets);
    }
  }
}

TEST_F(DirectShareLockTest, ADeadHolderWithoutADriverIsJustReplaced) {
  HolderDies();
  ::LONG failure = -1;
  const HANDLE lock = TakeDirectShareLock(kReader, &failure);
  EXPECT_EQ(failure, kSuccess);
  ASSERT_NE(lock, nullptr);
  EXPECT_EQ(OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false,
                      qvx::contract::CancelEventName(kReader).c_str()),
            nullptr)
      << "no cancel event is made where nobody watches";
  ReleaseDirectShareLock(lock);
}

TEST_F(DirectShareLockTest, CancelEventNameIsTheReaderNameWithItsSuffix) {
  EXPECT_EQ(qvx::contract::CancelEventName(kReader),
            "Global\\Meridel Quorvex2_Reader 00 00_cancel_event");
}

}  // namespace
}  // namespace platform
