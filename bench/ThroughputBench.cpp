// Unpaced: packets per second through pcsc-lite, pcscd, the driver and the
// simulator, against a raw SOCK_SEQPACKET ping-pong of 8-byte packets.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "PingPong.h"
#include "SignRequest.h"
#include "Stack.h"
#include "Verdict.h"

namespace {

constexpr const char* kName = "unpaced-throughput";

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Run(const qvx::bench::BenchOptions& options) {
  qvx::testing::Stack stack;
  stack.ExportToThisProcess();
  stack.Control("customer approve 0");

  const std::size_t blocks = options.quick ? 4 : qvx::bench::kFullBlocks;
  const int runs = options.quick ? 1 : 7;
  const std::size_t roundTrips = options.quick ? 2000 : 50000;
  const std::size_t packets = qvx::bench::GetResponsePackets(stack, blocks);

  const std::string signData = qvx::bench::SignData(blocks);
  qvx::bench::TimeGetResponse(signData);  // warm-up
  std::vector<double> times;
  std::vector<double> raw;
  // Alternated, so both see the same noise of a shared machine.
  for (int i = 0; i < runs; ++i) {
    times.push_back(qvx::bench::TimeGetResponse(signData));
    raw.push_back(qvx::bench::RawSeqpacketPacketsPerSecond(roundTrips));
  }
  const double elapsed = Median(times);
  const double driverRate = static_cast<double>(packets) / elapsed;
  const double rawRate = Median(raw);

  char text[200];
  std::snprintf(text, sizeof text,
                "%zu packets per %zu-byte GetResponse, median %.1f ms of %d: %.0f packets/s",
                packets, blocks * qvx::bench::kBlockBytes, elapsed * 1000, runs, driverRate);
  qvx::bench::PrintFigure(kName, text);
  std::snprintf(text, sizeof text,
                "baseline: raw SOCK_SEQPACKET ping-pong %.0f packets/s (median of %d x %zu "
                "round trips)",
                rawRate, runs, roundTrips);
  qvx::bench::PrintFigure(kName, text);
  const double ratio = driverRate / rawRate;
  qvx::bench::PrintVerdict(kName, "driver/raw", ratio, ">= 0.5", ratio >= 0.5);
}

}  // namespace

int main(int argc, char** argv) { return qvx::bench::BenchMain(argc, argv, kName, Run); }
