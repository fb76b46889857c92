// At rest right after a command that went through the whole chain (page ->
// brixwssvr -> pcscd with the driver -> qvxsim): the CPU time and wake-ups
// of pcscd, the simulator and the service, with and without a card in the
// reader and with and without a PC/SC context held open by a client. At
// rest each should use no CPU and wake at most once a second.
#include <PCSC/winscard.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ProcessCpu.h"
#include "ProcessStatus.h"
#include "Stack.h"
#include "Verdict.h"
#include "WssService.h"

namespace {

constexpr const char* kName = "idle-after-command";
constexpr const char* kCheckConnection = R"({"Name":1,"Params":[]})";
constexpr double kCpuLimit = 0.01;    // of one core
constexpr double kWakeUpLimit = 1.0;  // per second and process

struct Watched {
  const char* name;
  pid_t pid;
};

struct Rest {
  double cpu = 0;    // seconds over the window
  long wakeUps = 0;  // voluntary context switches over the window
};

// A PC/SC context of a client that has nothing to ask, held for a window.
class CHeldContext {
 public:
  CHeldContext() {
    const LONG rc = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &m_context);
    if (rc != SCARD_S_SUCCESS)
      throw std::runtime_error(std::string("SCardEstablishContext: ") + pcsc_stringify_error(rc));
  }
  ~CHeldContext() { SCardReleaseContext(m_context); }
  CHeldContext(const CHeldContext&) = delete;
  CHeldContext& operator=(const CHeldContext&) = delete;

 private:
  SCARDCONTEXT m_context = 0;
};

std::vector<Rest> Observe(const std::vector<Watched>& processes, std::chrono::milliseconds window) {
  std::vector<Rest> before;
  for (const Watched& p : processes)
    before.push_back({qvx::bench::CpuSeconds(p.pid), qvx::bench::VoluntarySwitches(p.pid)});
  std::this_thread::sleep_for(window);
  std::vector<Rest> rest;
  for (std::size_t i = 0; i < processes.size(); ++i) {
    rest.push_back({qvx::bench::CpuSeconds(processes[i].pid) - before[i].cpu,
                    qvx::bench::VoluntarySwitches(processes[i].pid) - before[i].wakeUps});
  }
  return rest;
}

void Run(const qvx::bench::BenchOptions& options) {
  const std::chrono::milliseconds window(options.quick ? 1000 : 3000);
  const double wall = static_cast<double>(window.count()) / 1000;
  qvx::testing::Stack stack;
  stack.ExportToThisProcess();
  qvx::bench::CWssService service(stack);
  const std::vector<Watched> processes = {
      {"pcscd", stack.PcscdPid()}, {"qvxsim", stack.SimulatorPid()}, {"brixwssvr", service.Pid()}};

  struct Case {
    const char* name;
    bool card;
    bool context;
  };
  const std::vector<Case> cases = {
      {"card, no client context", true, false},
      {"card, a client context open", true, true},
      {"no card, no client context", false, false},
      {"no card, a client context open", false, true},
  };
  bool allMet = true;
  for (const Case& c : cases) {
    stack.Control(c.card ? "insert" : "remove");
    std::unique_ptr<CHeldContext> context;
    if (c.context) context = std::make_unique<CHeldContext>();
    {
      const std::string reply = service.Connect()->Request(kCheckConnection);
      if (reply.rfind("Status=0\n", 0) != 0)
        throw std::runtime_error(std::string(c.name) + ": CheckConnection failed:\n" + reply);
    }
    const std::vector<Rest> rest = Observe(processes, window);
    for (std::size_t i = 0; i < processes.size(); ++i) {
      char text[200];
      const double wakeUps = static_cast<double>(rest[i].wakeUps) / wall;
      std::snprintf(text, sizeof text, "%s: %s CPU %.0f ms in %.0f ms, %.1f wake-ups/s", c.name,
                    processes[i].name, rest[i].cpu * 1000, wall * 1000, wakeUps);
      qvx::bench::PrintFigure(kName, text);
      const std::string what = std::string(c.name) + ": " + processes[i].name;
      // One clock tick is 10 ms: up to 1% of the window is as near to none
      // as /proc can tell.
      allMet = qvx::bench::PrintVerdict(kName, what + " CPU/wall", rest[i].cpu / wall, "<= 0.01",
                                        rest[i].cpu / wall <= kCpuLimit) &&
               allMet;
      allMet = qvx::bench::PrintVerdict(kName, what + " wake-ups/s", wakeUps, "<= 1",
                                        wakeUps <= kWakeUpLimit) &&
               allMet;
    }
  }
  stack.Control("insert");
  service.Stop();
  qvx::bench::PrintFigure(kName, allMet ? "every process at rest" : "a process is not at rest");
}

}  // namespace

int main(int argc, char** argv) { return qvx::bench::BenchMain(argc, argv, kName, Run); }
