// SystemSCard() against a private pcscd without readers: pass-through to
// pcscd, and the direct-share lock that stands in for Windows' exclusivity.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "PrivatePcscd.h"
#include "ScopedEnv.h"
#include "platform/linux/DirectShareLock.h"
#include "platform/SCard.h"
#include "platform/Sync.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kReader = "Meridel Quorvex2_Reader 0";

// One pcscd per test process: the pcsc-lite client reads its socket path
// once, at the first PC/SC call.
struct ProcessPcscd {
  ProcessPcscd() {
    // Never the system pcscd, even if starting ours fails.
    env.Set("PCSCLITE_CSOCK_NAME", "/nonexistent/qvx-no-pcscd");
    if (!qvx::testing::PrivatePcscd::Available(&skipReason)) return;
    try {
      pcscd.Start("");
      objectDir = pcscd.Directory() + "/objects";
      fs::create_directories(objectDir);
      env.Set("QVX_OBJECT_DIR", objectDir);
      pcscd.ExportSocketPath();
    } catch (const std::exception& error) {
      failure = error.what();
    }
  }
  qvx::testing::ScopedEnv env;
  qvx::testing::PrivatePcscd pcscd;
  std::string objectDir;
  std::string skipReason;
  std::string failure;
};

ProcessPcscd& SharedPcscd() {
  static ProcessPcscd instance;
  return instance;
}

std::string LockName(const std::string& reader) {
  return std::string("Global\\") + platform::DirectShareLockPrefix() + reader;
}

// Holds a reader's direct-share lock in a child process until told to let
// go, then exits either releasing it or dying with it held.
class LockHolderProcess {
 public:
  LockHolderProcess(const std::string& reader, bool abandon) {
    int ready[2];
    int finish[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    if (pipe2(finish, O_CLOEXEC) != 0) {
      close(ready[0]);
      close(ready[1]);
      return;
    }
    const std::string name = LockName(reader);
    m_pid = fork();
    if (m_pid == 0) {
      close(ready[0]);
      close(finish[1]);
      platform::HANDLE lock = platform::CreateMutex(nullptr, false, name.c_str());
      const bool owned =
          lock != nullptr && platform::WaitForSingleObject(lock, 0) == platform::WAIT_OBJECT_0;
      const char answer = owned ? '1' : '0';
      if (write(ready[1], &answer, 1) != 1) _exit(2);
      char ignored = 0;
      while (read(finish[0], &ignored, 1) > 0) {
      }
      if (!abandon && owned) {
        platform::ReleaseMutex(lock);
        platform::CloseHandle(lock);
      }
      _exit(0);
    }
    close(ready[1]);
    close(finish[0]);
    m_finish = finish[1];
    char answer = 0;
    m_holding = m_pid > 0 && read(ready[0], &answer, 1) == 1 && answer == '1';
    close(ready[0]);
  }
  ~LockHolderProcess() { Finish(); }
  LockHolderProcess(const LockHolderProcess&) = delete;
  LockHolderProcess& operator=(const LockHolderProcess&) = delete;

  bool Holding() const { return m_holding; }
  // Lets the child end and waits for it.
  void Finish() {
    if (m_finish >= 0) close(m_finish);
    m_finish = -1;
    if (m_pid > 0) waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
  int m_finish = -1;
  bool m_holding = false;
};

class SCardPcscdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcessPcscd& shared = SharedPcscd();
    if (!shared.skipReason.empty()) GTEST_SKIP() << shared.skipReason;
    ASSERT_EQ("", shared.failure);
    const char* socket = std::getenv("PCSCLITE_CSOCK_NAME");
    ASSERT_NE(nullptr, socket);
    ASSERT_EQ(shared.pcscd.SocketPath(), socket);
    ASSERT_EQ(SCARD_S_SUCCESS,
              scard.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context));
  }
  void TearDown() override {
    if (context != 0) scard.ReleaseContext(context);
  }

  LONG Connect(const std::string& reader, DWORD shareMode) {
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    const LONG result =
        scard.Connect(context, reader.c_str(), shareMode,
                      shareMode == SCARD_SHARE_DIRECT ? 0 : SCARD_PROTOCOL_ANY, &card, &protocol);
    if (result == SCARD_S_SUCCESS) scard.Disconnect(card, SCARD_LEAVE_CARD);
    return result;
  }

  // Whether the direct-share lock of `reader` is free right now.
  static bool LockIsFree(const std::string& reader) {
    platform::HANDLE lock = platform::CreateMutex(nullptr, false, LockName(reader).c_str());
    if (lock == nullptr) return false;
    const platform::DWORD wait = platform::WaitForSingleObject(lock, 0);
    if (wait == platform::WAIT_OBJECT_0 || wait == platform::WAIT_ABANDONED)
      platform::ReleaseMutex(lock);
    platform::CloseHandle(lock);
    return wait == platform::WAIT_OBJECT_0;
  }

  platform::ISCard& scard = platform::SystemSCard();
  SCARDCONTEXT context = 0;
};

TEST_F(SCardPcscdTest, TalksToThePrivatePcscdWhichHasNoReaders) {
  EXPECT_TRUE(SharedPcscd().pcscd.ServesThisProcess());

  char* list = nullptr;
  DWORD length = SCARD_AUTOALLOCATE;
  EXPECT_EQ(SCARD_E_NO_READERS_AVAILABLE,
            scard.ListReaders(context, nullptr, reinterpret_cast<LPSTR>(&list), &length));
  length = 0;
  EXPECT_EQ(SCARD_E_NO_READERS_AVAILABLE, scard.ListReaders(context, nullptr, nullptr, &length));
}

TEST_F(SCardPcscdTest, FreeLockLetsDirectConnectReachPcscdAndStaysFree) {
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE(attempt);
    EXPECT_EQ(SCARD_E_UNKNOWN_READER, Connect(kReader, SCARD_SHARE_DIRECT));
    EXPECT_TRUE(LockIsFree(kReader));
  }
}

TEST_F(SCardPcscdTest, HeldLockRefusesDirectConnectWithoutAskingPcscd) {
  // pcscd itself would answer SCARD_E_UNKNOWN_READER for this reader.
  platform::HANDLE lock = platform::CreateMutex(nullptr, true, LockName(kReader).c_str());
  ASSERT_NE(nullptr, lock);
  EXPECT_EQ(SCARD_E_SHARING_VIOLATION, Connect(kReader, SCARD_SHARE_DIRECT));
  EXPECT_EQ(SCARD_E_UNKNOWN_READER, Connect(kReader, SCARD_SHARE_SHARED))
      << "only direct connections take the lock";
  EXPECT_EQ(SCARD_E_UNKNOWN_READER, Connect(std::string(kReader) + "1", SCARD_SHARE_DIRECT))
      << "each reader has a lock of its own";
  EXPECT_TRUE(platform::ReleaseMutex(lock));
  EXPECT_TRUE(platform::CloseHandle(lock));
  EXPECT_EQ(SCARD_E_UNKNOWN_READER, Connect(kReader, SCARD_SHARE_DIRECT));
}

TEST_F(SCardPcscdTest, LockHeldByAnotherProcess) {
  struct Case {
    const char* name;
    bool abandon;
  } const cases[] = {{"released on exit", false}, {"holder dies", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LockHolderProcess holder(kReader, c.abandon);
    ASSERT_TRUE(holder.Holding());
    EXPECT_EQ(SCARD_E_SHARING_VIOLATION, Connect(kReader, SCARD_SHARE_DIRECT));
    holder.Finish();
    // An abandoned lock is taken all the same.
    EXPECT_EQ(SCARD_E_UNKNOWN_READER, Connect(kReader, SCARD_SHARE_DIRECT));
    EXPECT_TRUE(LockIsFree(kReader));
  }
}

}  // namespace
