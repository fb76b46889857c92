// A request that waits for a customer who does not come: the CPU time
// pcscd and the simulator use meanwhile, which should be none.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include "ProcessCpu.h"
#include "Stack.h"
#include "Verdict.h"
#include "command/Quorvex2.h"

namespace {

constexpr const char* kName = "idle-wait-cpu";

struct Usage {
  double pcscd = 0;
  double simulator = 0;
  double Total() const { return pcscd + simulator; }
};

Usage CpuOver(const qvx::testing::Stack& stack, std::chrono::milliseconds window) {
  const double pcscd = qvx::bench::CpuSeconds(stack.PcscdPid());
  const double simulator = qvx::bench::CpuSeconds(stack.SimulatorPid());
  std::this_thread::sleep_for(window);
  return Usage{qvx::bench::CpuSeconds(stack.PcscdPid()) - pcscd,
               qvx::bench::CpuSeconds(stack.SimulatorPid()) - simulator};
}

std::string Milliseconds(double seconds) {
  return std::to_string(static_cast<long>(seconds * 1000));
}

void Run(const qvx::bench::BenchOptions& options) {
  const std::chrono::milliseconds window(options.quick ? 500 : 2000);
  const double wall = static_cast<double>(window.count()) / 1000;
  qvx::testing::Stack stack;
  stack.ExportToThisProcess();

  const Usage idle = CpuOver(stack, window);

  stack.Control("customer never");
  auto pending = std::async(std::launch::async, [] {
    qvx::CQuorvex2 command;
    return command.GetMode2Response();
  });
  if (!DeviceWaits(stack)) throw std::runtime_error("the device never asked the customer");
  const Usage waiting = CpuOver(stack, window);

  // End the wait as another session would.
  const qvx::testing::ProcessResult cancel = stack.Qvxcmd({"cancel"});
  const std::string result = pending.get();
  if (cancel.exitCode != 0 || result.rfind("Status=15\n", 0) != 0)
    throw std::runtime_error("the cancel did not end the wait: " + result);

  qvx::bench::PrintFigure(kName, "baseline, nothing pending: pcscd " + Milliseconds(idle.pcscd) +
                                     " ms, qvxsim " + Milliseconds(idle.simulator) + " ms CPU in " +
                                     Milliseconds(wall) + " ms");
  qvx::bench::PrintFigure(kName, "device waiting for the customer: pcscd " +
                                     Milliseconds(waiting.pcscd) + " ms, qvxsim " +
                                     Milliseconds(waiting.simulator) + " ms CPU in " +
                                     Milliseconds(wall) + " ms");
  const double ratio = waiting.Total() / wall;
  // One clock tick is 10 ms: up to 1% of the window is as near to none as
  // /proc can tell.
  qvx::bench::PrintVerdict(kName, "CPU/wall while waiting", ratio, "<= 0.01 (none)", ratio <= 0.01);
}

}  // namespace

int main(int argc, char** argv) { return qvx::bench::BenchMain(argc, argv, kName, Run); }
