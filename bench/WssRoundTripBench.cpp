// CheckConnection over wss against brixwssvr on the unpaced simulated
// device, against its floor: the same device exchange made straight over
// PC/SC through the same pcscd. A TLS WebSocket echo in this process shows
// what the transport alone costs; the floor in a context of its own and the
// library call in this process show what the command adds around the
// exchange.
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Latency.h"
#include "PcscFloor.h"
#include "Stack.h"
#include "TlsEchoServer.h"
#include "Verdict.h"
#include "WssService.h"
#include "client/WssClient.h"
#include "command/Quorvex2.h"

namespace {

constexpr const char* kName = "wss-roundtrip";
constexpr const char* kCheckConnection = R"({"Name":1,"Params":[]})";
constexpr double kTarget = 1.25;

void ExpectSuccess(const std::string& what, const std::string& result) {
  if (result.rfind("Status=0\n", 0) != 0)
    throw std::runtime_error(what + " did not succeed:\n" + result);
}

double TimeWss(qvx::client::CWssClient& client) {
  std::string reply;
  const double seconds = qvx::bench::SecondsOf([&] { reply = client.Request(kCheckConnection); });
  ExpectSuccess("CheckConnection over wss", reply);
  return seconds;
}

double TimeEcho(qvx::client::CWssClient& client) {
  std::string reply;
  const double seconds = qvx::bench::SecondsOf([&] { reply = client.Request(kCheckConnection); });
  if (reply != kCheckConnection) throw std::runtime_error("the echo sent back: " + reply);
  return seconds;
}

double TimeFloor(qvx::bench::CCheckConnectionFloor& floor) {
  return qvx::bench::SecondsOf([&] { floor.Exchange(); });
}

// The floor with what a command object adds at the PC/SC level: a context
// of its own and the reader list.
double TimeFloorInOwnContext() {
  return qvx::bench::SecondsOf([] {
    qvx::bench::CCheckConnectionFloor own;
    own.ListReaders();
    own.Exchange();
  });
}

// As the service runs a request: a fresh command object each time.
double TimeLibrary() {
  std::string result;
  const double seconds = qvx::bench::SecondsOf([&] {
    qvx::CQuorvex2 command;
    result = command.CheckConnection();
  });
  ExpectSuccess("CheckConnection in this process", result);
  return seconds;
}

std::string Format(const char* format, double a, double b) {
  char text[200];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

void Run(const qvx::bench::BenchOptions& options) {
  const std::size_t requests = options.quick ? 30 : 1000;
  qvx::testing::Stack stack;
  stack.ExportToThisProcess();
  qvx::bench::CWssService service(stack);
  qvx::bench::CTlsEchoServer echo(qvx::bench::TestPemDirectory(),
                                  qvx::bench::TlsContextUse::Shared);

  const auto wss = service.Connect();
  qvx::client::ClientOptions echoOptions = service.Options();
  echoOptions.port = echo.Port();
  qvx::client::CWssClient echoClient(echoOptions);
  qvx::bench::CCheckConnectionFloor floor;

  std::vector<double> wssTimes, floorTimes, ownContextTimes, libraryTimes, echoTimes;
  const std::size_t warmUp = requests / 10 + 5;
  const std::function<double()> series[] = {[&] { return TimeWss(*wss); },
                                            [&] { return TimeFloor(floor); }, TimeFloorInOwnContext,
                                            TimeLibrary, [&] { return TimeEcho(echoClient); }};
  constexpr std::size_t kSeries = sizeof series / sizeof series[0];
  // Alternated, so all see the same noise of a shared machine, and in
  // turns that start one later each round, so each takes each place in a
  // round equally often.
  for (std::size_t i = 0; i < warmUp + requests; ++i) {
    double seconds[kSeries];
    for (std::size_t k = 0; k < kSeries; ++k) {
      const std::size_t which = (i + k) % kSeries;
      seconds[which] = series[which]();
    }
    const double onWss = seconds[0];
    const double onFloor = seconds[1];
    const double inOwnContext = seconds[2];
    const double onLibrary = seconds[3];
    const double onEcho = seconds[4];
    if (i < warmUp) continue;
    wssTimes.push_back(onWss);
    floorTimes.push_back(onFloor);
    ownContextTimes.push_back(inOwnContext);
    libraryTimes.push_back(onLibrary);
    echoTimes.push_back(onEcho);
  }
  service.Stop();

  const qvx::bench::LatencySummary onWss = qvx::bench::Summarise(wssTimes);
  const qvx::bench::LatencySummary onFloor = qvx::bench::Summarise(floorTimes);
  const qvx::bench::LatencySummary onLibrary = qvx::bench::Summarise(libraryTimes);
  const qvx::bench::LatencySummary onEcho = qvx::bench::Summarise(echoTimes);
  qvx::bench::PrintFigure(
      kName, "CheckConnection over wss to brixwssvr: " + qvx::bench::Describe(onWss, "requests"));
  qvx::bench::PrintFigure(kName,
                          "floor, its device exchange over PC/SC (direct connect, version "
                          "and last-error requests, disconnect): " +
                              qvx::bench::Describe(onFloor, "exchanges"));
  qvx::bench::PrintFigure(
      kName,
      "the floor in a PC/SC context of its own (establish, reader "
      "list, exchange, release): " +
          qvx::bench::Describe(qvx::bench::Summarise(ownContextTimes), "exchanges"));
  qvx::bench::PrintFigure(kName, "CheckConnection of the library in this process: " +
                                     qvx::bench::Describe(onLibrary, "calls"));
  qvx::bench::PrintFigure(kName, "transport, TLS 1.2 WebSocket echo in this process: " +
                                     qvx::bench::Describe(onEcho, "round trips"));
  qvx::bench::PrintFigure(
      kName, Format("wss minus floor: %.3f ms at the median, %.3f ms at p99",
                    (onWss.median - onFloor.median) * 1000, (onWss.p99 - onFloor.p99) * 1000));
  const double medianRatio = onWss.median / onFloor.median;
  const double p99Ratio = onWss.p99 / onFloor.p99;
  qvx::bench::PrintVerdict(kName, "wss/floor at the median", medianRatio, "<= 1.25",
                           medianRatio <= kTarget);
  qvx::bench::PrintVerdict(kName, "wss/floor at p99", p99Ratio, "<= 1.25", p99Ratio <= kTarget);
}

}  // namespace

int main(int argc, char** argv) { return qvx::bench::BenchMain(argc, argv, kName, Run); }
