// brixwssvr at rest: its resident memory and threads idle and with many
// connections open, and the CPU time it uses meanwhile, which should be
// none.
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ProcessCpu.h"
#include "ProcessStatus.h"
#include "Stack.h"
#include "Verdict.h"
#include "WssService.h"
#include "client/WssClient.h"

namespace {

constexpr const char* kName = "wss-idle";
constexpr const char* kCheckConnection = R"({"Name":1,"Params":[]})";

struct Snapshot {
  long residentKiB = 0;
  long threads = 0;
  double cpu = 0;  // seconds used over the window
};

Snapshot Observe(pid_t pid, std::chrono::milliseconds window) {
  Snapshot snapshot;
  const double before = qvx::bench::CpuSeconds(pid);
  std::this_thread::sleep_for(window);
  snapshot.cpu = qvx::bench::CpuSeconds(pid) - before;
  snapshot.residentKiB = qvx::bench::ResidentKiB(pid);
  snapshot.threads = qvx::bench::ThreadCount(pid);
  return snapshot;
}

void CheckConnection(qvx::client::CWssClient& client) {
  const std::string reply = client.Request(kCheckConnection);
  if (reply.rfind("Status=0\n", 0) != 0)
    throw std::runtime_error("CheckConnection did not succeed:\n" + reply);
}

std::string Describe(const Snapshot& snapshot, double wall) {
  char text[160];
  std::snprintf(text, sizeof text, "RSS %ld KiB, %ld threads, CPU %.0f ms in %.0f ms",
                snapshot.residentKiB, snapshot.threads, snapshot.cpu * 1000, wall * 1000);
  return text;
}

void Run(const qvx::bench::BenchOptions& options) {
  const std::size_t connections = options.quick ? 20 : 100;
  const std::chrono::milliseconds window(options.quick ? 500 : 3000);
  const std::chrono::milliseconds settle(200);
  const double wall = static_cast<double>(window.count()) / 1000;
  qvx::testing::Stack stack;
  stack.ExportToThisProcess();
  qvx::bench::CWssService service(stack);

  // One command first, so what a first request sets up is there in both
  // observations and the difference is the connections'.
  CheckConnection(*service.Connect());
  std::this_thread::sleep_for(settle);
  const Snapshot idle = Observe(service.Pid(), window);

  std::vector<std::unique_ptr<qvx::client::CWssClient>> clients;
  for (std::size_t i = 0; i < connections; ++i) clients.push_back(service.Connect());
  std::this_thread::sleep_for(settle);
  const Snapshot open = Observe(service.Pid(), window);

  for (const auto& client : clients) {
    if (client->Closed()) throw std::runtime_error("brixwssvr closed an idle connection");
  }
  CheckConnection(*clients.back());
  clients.clear();
  service.Stop();

  const std::string count = std::to_string(connections);
  qvx::bench::PrintFigure(kName, "baseline, idle with no connection: " + Describe(idle, wall));
  qvx::bench::PrintFigure(kName, count + " connections open: " + Describe(open, wall));
  char text[160];
  std::snprintf(
      text, sizeof text, "memory of the connections: %+ld KiB, %.1f KiB each",
      open.residentKiB - idle.residentKiB,
      static_cast<double>(open.residentKiB - idle.residentKiB) / static_cast<double>(connections));
  qvx::bench::PrintFigure(kName, text);
  // One clock tick is 10 ms: up to 1% of the window is as near to none as
  // /proc can tell.
  const double ratio = open.cpu / wall;
  qvx::bench::PrintVerdict(kName, "CPU/wall with " + count + " connections open", ratio,
                           "<= 0.01 (none)", ratio <= 0.01);
}

}  // namespace

int main(int argc, char** argv) { return qvx::bench::BenchMain(argc, argv, kName, Run); }
