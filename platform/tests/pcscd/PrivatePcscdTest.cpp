// Private pcscd instances run side by side, and each client process talks
// to the one its PCSCLITE_CSOCK_NAME names. A client process talks to one
// pcscd only, so the clients here are child runs of this test program.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PrivatePcscd.h"
#include "platform/SCard.h"

extern char** environ;

namespace {

using qvx::testing::PrivatePcscd;

constexpr const char* kProbeExpect = "QVX_PCSCD_PROBE_EXPECT";  // "ok", "none"
constexpr const char* kProbePid = "QVX_PCSCD_PROBE_PID";

// A run of this program's probe test in a fresh process, with the pcsc-lite
// client pointed at `socket`.
class ProbeProcess {
 public:
  ProbeProcess(const std::string& dir, const std::string& socket, const std::string& expect,
               pid_t pcscdPid)
      : m_output(dir + "/probe-" + expect + ".log") {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      if (text.rfind("PCSCLITE_CSOCK_NAME=", 0) != 0 && text.rfind("GTEST_", 0) != 0)
        env.push_back(text);
    }
    env.push_back("PCSCLITE_CSOCK_NAME=" + socket);
    env.push_back("QVX_OBJECT_DIR=" + dir);
    env.push_back(std::string(kProbeExpect) + "=" + expect);
    env.push_back(std::string(kProbePid) + "=" + std::to_string(pcscdPid));
    std::vector<std::string> args{"/proc/self/exe", "--gtest_filter=PcscdProbe.*",
                                  "--gtest_also_run_disabled_tests"};

    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ProbeProcess() { Wait(); }
  ProbeProcess(const ProbeProcess&) = delete;
  ProbeProcess& operator=(const ProbeProcess&) = delete;

  // True when the probe ran and passed.
  bool Wait() {
    if (m_pid > 0) {
      int status = 0;
      waitpid(m_pid, &status, 0);
      m_passed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      m_pid = -1;
    }
    return m_passed;
  }
  std::string Output() const {
    std::ifstream in(m_output);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::string m_output;
  pid_t m_pid = -1;
  bool m_passed = false;
};

// Runs only as a child of the test below: checks what this process's
// pcsc-lite client finds at PCSCLITE_CSOCK_NAME.
TEST(PcscdProbe, DISABLED_ConnectsToTheNamedPcscd) {
  const char* expect = std::getenv(kProbeExpect);
  const char* pid = std::getenv(kProbePid);
  ASSERT_NE(nullptr, expect) << "not started by the side-by-side test";
  ASSERT_NE(nullptr, pid);
  platform::ISCard& scard = platform::SystemSCard();
  SCARDCONTEXT context = 0;
  const LONG result = scard.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
  if (std::string(expect) == "none") {
    EXPECT_EQ(SCARD_E_NO_SERVICE, result);
    return;
  }
  ASSERT_EQ(SCARD_S_SUCCESS, result);
  bool connectedToIt = false;
  for (const pid_t peer : PrivatePcscd::PeersOfThisProcess())
    connectedToIt = connectedToIt || peer == std::atoi(pid);
  EXPECT_TRUE(connectedToIt) << "not connected to pcscd " << pid;
  DWORD length = 0;
  EXPECT_EQ(SCARD_E_NO_READERS_AVAILABLE, scard.ListReaders(context, nullptr, nullptr, &length));
  EXPECT_EQ(SCARD_S_SUCCESS, scard.ReleaseContext(context));
}

TEST(PrivatePcscdTest, InstancesRunSideBySide) {
  std::string why;
  if (!PrivatePcscd::Available(&why)) GTEST_SKIP() << why;
  PrivatePcscd first;
  PrivatePcscd second;
  first.Start("");
  second.Start("");
  ASSERT_TRUE(first.Running());
  ASSERT_TRUE(second.Running());
  EXPECT_NE(first.Pid(), second.Pid());
  EXPECT_NE(first.SocketPath(), second.SocketPath());

  {
    ProbeProcess toFirst(first.Directory(), first.SocketPath(), "ok", first.Pid());
    ProbeProcess toSecond(second.Directory(), second.SocketPath(), "ok", second.Pid());
    EXPECT_TRUE(toFirst.Wait()) << toFirst.Output();
    EXPECT_TRUE(toSecond.Wait()) << toSecond.Output();
  }

  first.Stop();
  struct stat info {};
  EXPECT_NE(0, stat(first.SocketPath().c_str(), &info)) << "socket left behind";
  ProbeProcess toStopped(first.Directory(), first.SocketPath(), "none", 0);
  ProbeProcess toRunning(second.Directory(), second.SocketPath(), "ok", second.Pid());
  EXPECT_TRUE(toStopped.Wait()) << toStopped.Output();
  EXPECT_TRUE(toRunning.Wait()) << toRunning.Output();
}

TEST(PrivatePcscdTest, StartFailureReportsPcscdsLog) {
  std::string why;
  if (!PrivatePcscd::Available(&why)) GTEST_SKIP() << why;
  PrivatePcscd pcscd;
  try {
    pcscd.Start("", "", {"--no-such-option"});
    ADD_FAILURE() << "started with an unknown option";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string::npos, std::string(error.what()).find("pcscd")) << error.what();
  }
  EXPECT_FALSE(pcscd.Running());
}

}  // namespace
