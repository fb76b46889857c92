// The cable pulled and plugged back in: while the device is away, requests
// end with status 2 and pcscd's card-tracking loop stays calm; once it is
// back, the next request works without restarting pcscd. A request that
// waits for the customer when the cable goes ends instead of hanging. Each
// test runs on a stack of its own.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "E2eFixture.h"

namespace qvx::testing {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// User plus system CPU time of process `pid`, in clock ticks.
long CpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int number = 3; number <= 15 && (fields >> field); ++number) {
    if (number >= 14) ticks += std::stol(field);
  }
  return ticks;
}

std::size_t Count(const std::string& text, const std::string& phrase) {
  std::size_t count = 0;
  for (std::size_t at = text.find(phrase); at != std::string::npos;
       at = text.find(phrase, at + phrase.size())) {
    ++count;
  }
  return count;
}

class Unplug : public ::testing::Test {
 protected:
  void SetUp() override {
    // On USB, pcscd's hotplug removes and adds the reader (UsbUnplugTest);
    // these count the driver's own reconnect attempts to the socket.
    QVX_SOCKET_LANE_ONLY("the driver reconnects to the simulator's socket only on that lane");
    std::string why;
    if (!Stack::Available(&why)) GTEST_SKIP() << why;
    m_stack = std::make_unique<Stack>();
    ASSERT_EQ(m_stack->Qvxcmd({"check-connection"}).exitCode, 0);
  }

  // check-connection until it exits with `status`, for at most `limit`.
  bool CheckConnectionGives(int status, ProcessResult* last, std::chrono::milliseconds limit = 5s) {
    return Eventually(
        [&] {
          *last = m_stack->Qvxcmd({"check-connection"});
          return last->exitCode == status;
        },
        limit);
  }

  std::unique_ptr<Stack> m_stack;
};

TEST_F(Unplug, AwayGivesStatus2AndBackWorksWithoutRestartingPcscd) {
  const pid_t pcscd = m_stack->PcscdPid();
  m_stack->Control("unplug");
  ProcessResult away;
  ASSERT_TRUE(CheckConnectionGives(2, &away)) << away.output << away.errors;
  EXPECT_EQ(away.output.rfind("Status=2\nStatusDescription=Device not connected\n", 0), 0u)
      << away.output;

  // Three seconds away: pcscd's loop goes round (one error line each time)
  // about once per second and burns next to no CPU.
  const std::size_t roundsBefore = Count(m_stack->PcscdLog(), "Error communicating");
  const long ticksBefore = CpuTicks(pcscd);
  std::this_thread::sleep_for(3s);  // the measured span itself, not a synchronisation
  const std::size_t rounds = Count(m_stack->PcscdLog(), "Error communicating") - roundsBefore;
  const long ticks = CpuTicks(pcscd) - ticksBefore;
  std::printf("while unplugged for 3 s: %zu rounds of pcscd's tracking loop, %ld CPU ticks\n",
              rounds, ticks);
  EXPECT_LE(rounds, 4u);
  EXPECT_GE(rounds, 2u) << "the driver stopped trying";
  EXPECT_LE(ticks, 20);

  m_stack->Control("plug");
  const Clock::time_point plugged = Clock::now();
  ProcessResult back;
  ASSERT_TRUE(CheckConnectionGives(0, &back)) << back.output << back.errors;
  std::printf(
      "working again %lld ms after the plug\n",
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - plugged).count()));
  EXPECT_EQ(back.output.rfind("Status=0\n", 0), 0u) << back.output;
  EXPECT_EQ(m_stack->PcscdPid(), pcscd) << "pcscd was restarted";
}

TEST_F(Unplug, ARequestWaitingForTheCustomerEndsWhenTheCableGoes) {
  m_stack->Control("customer never");
  Child waiting(m_stack->QvxcmdArgv({"get-mode2-response"}), m_stack->Env());
  ASSERT_TRUE(DeviceWaits(*m_stack));
  const Clock::time_point pulled = Clock::now();
  m_stack->Control("unplug");
  auto ended = std::async(std::launch::async, [&] { return waiting.Wait(); });
  ASSERT_EQ(ended.wait_for(10s), std::future_status::ready) << "the request hangs";
  const ProcessResult result = ended.get();
  std::printf(
      "the waiting request ended %lld ms after the unplug: %s\n",
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - pulled).count()),
      result.output.substr(0, result.output.find('\n')).c_str());
  EXPECT_TRUE(result.exitCode == 2 || result.exitCode == 3) << result.output << result.errors;

  m_stack->Control("plug");
  m_stack->Control("customer approve 50");
  ProcessResult back;
  EXPECT_TRUE(CheckConnectionGives(0, &back)) << back.output << back.errors;
}

}  // namespace
}  // namespace qvx::testing
