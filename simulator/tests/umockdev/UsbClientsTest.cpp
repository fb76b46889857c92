// The emulated device's clients as umockdev gives them: every process that
// opens the device node under the preload is one, and the device must learn
// when it goes however it goes, and must never take a new client for an
// old one (umockdev reuses their addresses).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "umockdev/EmulatedDevice.h"

namespace qvx::sim::usb {
namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// UsbNodeClient under umockdev's preload, talking to `device`.
class NodeClient {
 public:
  NodeClient(const EmulatedDevice& device, bool hold) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe");
    // Everything the child needs, made before the fork: the umockdev
    // worker threads may hold the allocator's lock when it happens.
    std::vector<std::string> env{"UMOCKDEV_DIR=" + device.RootDir(),
                                 std::string("LD_PRELOAD=") + kPreload};
    // A sanitizer build's client, with the preload ahead of its runtime.
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                  (asan != nullptr && *asan != '\0' ? ":" : "") + "verify_asan_link_order=0");
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      if (text.rfind("UMOCKDEV_DIR=", 0) != 0 && text.rfind("LD_PRELOAD=", 0) != 0 &&
          text.rfind("ASAN_OPTIONS=", 0) != 0)
        env.push_back(text);
    }
    std::vector<char*> envp;
    for (std::string& text : env) envp.push_back(text.data());
    envp.push_back(nullptr);
    const std::string node = device.DevNode();
    std::vector<char*> argv{const_cast<char*>(USB_NODE_CLIENT), const_cast<char*>(node.c_str())};
    if (hold) argv.push_back(const_cast<char*>("hold"));
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::execve(USB_NODE_CLIENT, argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    m_stdout = out[0];
  }
  ~NodeClient() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      Wait();
    }
    ::close(m_stdout);
    if (m_stdin >= 0) ::close(m_stdin);
  }
  NodeClient(const NodeClient&) = delete;
  NodeClient& operator=(const NodeClient&) = delete;

  // What the claim gave: "claim 0" or "claim ERRNO".
  std::string Claim() {
    std::string line;
    char c = 0;
    while (::read(m_stdout, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  void Close() {
    ::close(m_stdin);
    m_stdin = -1;
  }
  void Kill() { ::kill(m_pid, SIGKILL); }
  void Wait() {
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
  int m_stdin = -1;
  int m_stdout = -1;
};

class UsbClientsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string probe = std::string("ldconfig -p | grep -q ") + kPreload;
    if (std::system(probe.c_str()) != 0) GTEST_SKIP() << kPreload << " is not installed";
    m_device = std::make_unique<EmulatedDevice>(UsbOptions{}, m_pipes, [] {});
    m_device->Add();
  }

  UrbPipes m_pipes;
  std::unique_ptr<EmulatedDevice> m_device;
};

enum class Going { Exits, ClosesTheNode, IsKilled };

TEST_F(UsbClientsTest, AClientThatGoesLetsTheNextOneClaim) {
  for (const Going going : {Going::Exits, Going::ClosesTheNode, Going::IsKilled}) {
    SCOPED_TRACE(static_cast<int>(going));
    {
      NodeClient first(*m_device, going != Going::Exits);
      ASSERT_EQ(first.Claim(), "claim 0");
      // One that exits at once may be gone already.
      if (going != Going::Exits) {
        EXPECT_TRUE(m_pipes.Claimed());
      }
      if (going == Going::ClosesTheNode) first.Close();
      if (going == Going::IsKilled) first.Kill();
      first.Wait();
    }
    EXPECT_TRUE(Eventually([this] { return !m_pipes.Claimed(); }))
        << "the claim of a client that went stayed";
    NodeClient next(*m_device, false);
    EXPECT_EQ(next.Claim(), "claim 0");
    next.Wait();
    // Learnt from umockdev a moment after the process ended.
    ASSERT_TRUE(Eventually([this] { return !m_pipes.Claimed(); }));
  }
}

TEST_F(UsbClientsTest, AnOpenClientKeepsItsClaimFromTheNext) {
  NodeClient holder(*m_device, true);
  ASSERT_EQ(holder.Claim(), "claim 0");
  NodeClient other(*m_device, false);
  EXPECT_EQ(other.Claim(), "claim 16");  // EBUSY
  other.Wait();
  EXPECT_TRUE(m_pipes.Claimed());
}

TEST_F(UsbClientsTest, ClientsOfTheRepluggedDeviceAreNewClients) {
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    m_pipes.Unplug();
    m_device->Remove();
    m_pipes.Plug();
    m_device->Add();
    for (int client = 0; client < 3; ++client) {
      NodeClient next(*m_device, false);
      EXPECT_EQ(next.Claim(), "claim 0");
      next.Wait();
      EXPECT_TRUE(Eventually([this] { return !m_pipes.Claimed(); }));
    }
  }
}

TEST_F(UsbClientsTest, DevicesOnOneBusKeepTheirClientsApart) {
  UsbOptions second;
  second.port = 2;
  UrbPipes secondPipes;
  auto bus = std::make_shared<UsbBus>();
  m_device = std::make_unique<EmulatedDevice>(
      UsbOptions{}, m_pipes, [] {}, bus);
  m_device->Add();
  EmulatedDevice other(
      second, secondPipes, [] {}, bus);
  other.Add();
  ASSERT_EQ(other.RootDir(), m_device->RootDir());
  ASSERT_NE(other.DevNode(), m_device->DevNode());

  NodeClient onFirst(*m_device, true);
  ASSERT_EQ(onFirst.Claim(), "claim 0");
  EXPECT_TRUE(m_pipes.Claimed());
  EXPECT_FALSE(secondPipes.Claimed());
  {
    NodeClient onSecond(other, true);
    EXPECT_EQ(onSecond.Claim(), "claim 0");
    EXPECT_TRUE(secondPipes.Claimed());
  }
  EXPECT_TRUE(Eventually([&] { return !secondPipes.Claimed(); }));

  // The first unplugged; the second stays where it was.
  m_pipes.Unplug();
  m_device->Remove();
  NodeClient again(other, false);
  EXPECT_EQ(again.Claim(), "claim 0");
}

}  // namespace
}  // namespace qvx::sim::usb
