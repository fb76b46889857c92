// Connection set-up (TCP, TLS handshake, WebSocket upgrade; the close that
// follows is timed on its own) against brixwssvr, which makes a fresh TLS
// context for every connection, against a server in this process that keeps
// one with the PEM loaded once. The same server in a process of its own
// shows what sharing this process with the client costs the baseline; with
// the service's per-connection context, and the steps of loading the PEM
// timed on their own, it shows where a difference comes from.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/ssl/context.hpp>

#include "Latency.h"
#include "Stack.h"
#include "TlsEchoServer.h"
#include "Verdict.h"
#include "WssService.h"
#include "client/WssClient.h"
#include "command/Log.h"
#include "endpoint/TlsContext.h"

namespace {

constexpr const char* kName = "wss-connect";
constexpr double kTarget = 1.30;

struct Cycle {
  double setUp = 0;  // TCP, TLS handshake and upgrade, until the client has it open
  double close = 0;  // closing handshake and the end of the connection
};

Cycle TimeConnect(const qvx::client::ClientOptions& options) {
  Cycle cycle;
  std::unique_ptr<qvx::client::CWssClient> client;
  cycle.setUp =
      qvx::bench::SecondsOf([&] { client = std::make_unique<qvx::client::CWssClient>(options); });
  cycle.close = qvx::bench::SecondsOf([&] {
    client->Close();
    client.reset();
  });
  return cycle;
}

// Making a context and loading the PEM into it, timed step by step.
struct ContextSteps {
  double create = 0;       // the TLS 1.2 context itself
  double certificate = 0;  // reading the certificate chain from the PEM
  double key = 0;          // reading and decrypting the private key
};

ContextSteps TimeContextSteps(const std::string& pemPath) {
  namespace ssl = boost::asio::ssl;
  ContextSteps steps;
  std::unique_ptr<ssl::context> context;
  steps.create = qvx::bench::SecondsOf(
      [&] { context = std::make_unique<ssl::context>(ssl::context::tlsv12); });
  context->set_password_callback(
      [](std::size_t, ssl::context::password_purpose) { return qvx::endpoint::PemPassPhrase(); });
  steps.certificate = qvx::bench::SecondsOf([&] { context->use_certificate_chain_file(pemPath); });
  steps.key =
      qvx::bench::SecondsOf([&] { context->use_private_key_file(pemPath, ssl::context::pem); });
  return steps;
}

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[240];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

void Run(const qvx::bench::BenchOptions& options) {
  const std::size_t connections = options.quick ? 10 : 150;
  const std::string pemDirectory = qvx::bench::TestPemDirectory();
  // Forked first, while this process has no thread yet.
  qvx::bench::CTlsEchoProcess sharedProcess(pemDirectory, qvx::bench::TlsContextUse::Shared);
  qvx::bench::CTlsEchoProcess freshProcess(pemDirectory, qvx::bench::TlsContextUse::PerConnection);
  qvx::testing::Stack stack;
  stack.ExportToThisProcess();
  qvx::bench::CWssService service(stack);
  qvx::bench::CTlsEchoServer shared(pemDirectory, qvx::bench::TlsContextUse::Shared);

  const qvx::client::ClientOptions toService = service.Options();
  const auto to = [&toService](std::uint16_t port) {
    qvx::client::ClientOptions other = toService;
    other.port = port;
    return other;
  };
  const qvx::client::ClientOptions toShared = to(shared.Port());
  const qvx::client::ClientOptions toSharedProcess = to(sharedProcess.Port());
  const qvx::client::ClientOptions toFreshProcess = to(freshProcess.Port());

  std::vector<double> serviceTimes, sharedTimes, sharedProcessTimes, freshProcessTimes;
  std::vector<double> serviceCloses, sharedCloses;
  std::vector<double> contextTimes, createTimes, certificateTimes, keyTimes;
  const std::size_t warmUp = connections / 10 + 3;
  const qvx::client::ClientOptions* const targets[] = {&toService, &toShared, &toSharedProcess,
                                                       &toFreshProcess};
  constexpr std::size_t kTargets = sizeof targets / sizeof targets[0];
  // Alternated, so all see the same noise of a shared machine, and in
  // turns that start one later each round, so each takes each place equally
  // often: the first, right after the busy context timing, can find a faster
  // CPU than those after a close's idle wait.
  for (std::size_t i = 0; i < warmUp + connections; ++i) {
    Cycle cycles[kTargets];
    for (std::size_t k = 0; k < kTargets; ++k) {
      const std::size_t target = (i + k) % kTargets;
      cycles[target] = TimeConnect(*targets[target]);
    }
    const Cycle& onService = cycles[0];
    const Cycle& onShared = cycles[1];
    const Cycle& onSharedProcess = cycles[2];
    const Cycle& onFreshProcess = cycles[3];
    const double context = qvx::bench::SecondsOf([&] {
      qvx::CLog log;
      qvx::endpoint::MakeTlsContext(pemDirectory, log);
    });
    const ContextSteps steps = TimeContextSteps(pemDirectory + "/" + qvx::endpoint::kPemFileName);
    if (i < warmUp) continue;
    serviceTimes.push_back(onService.setUp);
    sharedTimes.push_back(onShared.setUp);
    sharedProcessTimes.push_back(onSharedProcess.setUp);
    freshProcessTimes.push_back(onFreshProcess.setUp);
    serviceCloses.push_back(onService.close);
    sharedCloses.push_back(onShared.close);
    contextTimes.push_back(context);
    createTimes.push_back(steps.create);
    certificateTimes.push_back(steps.certificate);
    keyTimes.push_back(steps.key);
  }
  service.Stop();

  const qvx::bench::LatencySummary onService = qvx::bench::Summarise(serviceTimes);
  const qvx::bench::LatencySummary onShared = qvx::bench::Summarise(sharedTimes);
  const qvx::bench::LatencySummary onSharedProcess = qvx::bench::Summarise(sharedProcessTimes);
  const qvx::bench::LatencySummary onFreshProcess = qvx::bench::Summarise(freshProcessTimes);
  qvx::bench::PrintFigure(kName, "set-up (TCP, TLS handshake, upgrade) against brixwssvr: " +
                                     qvx::bench::Describe(onService, "connections"));
  qvx::bench::PrintFigure(kName, "baseline, server in this process with one TLS context: " +
                                     qvx::bench::Describe(onShared, "connections"));
  qvx::bench::PrintFigure(kName, "the same server in a process of its own: " +
                                     qvx::bench::Describe(onSharedProcess, "connections"));
  qvx::bench::PrintFigure(kName, "that process with a fresh TLS context per connection: " +
                                     qvx::bench::Describe(onFreshProcess, "connections"));
  qvx::bench::PrintFigure(
      kName, "the service's MakeTlsContext call alone: " +
                 qvx::bench::Describe(qvx::bench::Summarise(contextTimes), "contexts"));
  qvx::bench::PrintFigure(
      kName, Format("a context and the PEM, step by step at the median: new TLS 1.2 context "
                    "%.3f ms, certificate chain %.3f ms, private key with decryption %.3f ms",
                    qvx::bench::Summarise(createTimes).median * 1000,
                    qvx::bench::Summarise(certificateTimes).median * 1000,
                    qvx::bench::Summarise(keyTimes).median * 1000));
  qvx::bench::PrintFigure(kName, Format("fresh context minus one context (own processes): %.3f ms "
                                        "at the median; brixwssvr minus one context: %.3f ms in "
                                        "this process, %.3f ms in its own",
                                        (onFreshProcess.median - onSharedProcess.median) * 1000,
                                        (onService.median - onShared.median) * 1000,
                                        (onService.median - onSharedProcess.median) * 1000));
  qvx::bench::PrintFigure(
      kName, Format("brixwssvr/one context at p99: %.3f in this process, %.3f "
                    "in its own",
                    onService.p99 / onShared.p99, onService.p99 / onSharedProcess.p99));
  qvx::bench::PrintFigure(
      kName, "close against brixwssvr: " +
                 qvx::bench::Describe(qvx::bench::Summarise(serviceCloses), "connections"));
  qvx::bench::PrintFigure(
      kName, "close against the server with one context: " +
                 qvx::bench::Describe(qvx::bench::Summarise(sharedCloses), "connections"));
  const double ratio = onService.median / onShared.median;
  qvx::bench::PrintVerdict(kName, "brixwssvr/one context in this process at the median", ratio,
                           "<= 1.30", ratio <= kTarget);
  const double processRatio = onService.median / onSharedProcess.median;
  qvx::bench::PrintVerdict(kName, "brixwssvr/one context in its own process at the median",
                           processRatio, "<= 1.30", processRatio <= kTarget);
}

}  // namespace

int main(int argc, char** argv) { return qvx::bench::BenchMain(argc, argv, kName, Run); }
