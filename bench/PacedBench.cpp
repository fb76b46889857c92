// A 25,600-byte GetResponse on a device that takes and sends one packet per
// millisecond: the elapsed time against the bound its packet count sets,
// on a quiet computer and (in the full run) with every core kept busy. On
// the USB lane each half also prints where the packets' time went.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "CpuLoad.h"
#include "SignRequest.h"
#include "Stack.h"
#include "Verdict.h"

namespace {

constexpr const char* kName = "paced-get-response";
constexpr double kSecondsPerPacket = 0.001;

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[200];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// The median of `runs` requests, with the cable's timing of those runs.
double Measure(const qvx::testing::Stack& stack, const std::string& signData, int runs,
               const std::string& label) {
  if (qvx::testing::UsbLane()) stack.Control("timing clear");
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(qvx::bench::TimeGetResponse(signData));
  std::sort(times.begin(), times.end());
  const double elapsed = times[times.size() / 2];
  qvx::bench::PrintFigure(kName, label + Format(": elapsed %.3f s (median of %.0f runs)", elapsed,
                                                static_cast<double>(runs)));
  if (qvx::testing::UsbLane()) {
    std::string timing = stack.Control("timing");
    while (!timing.empty() && timing.back() == '\n') timing.pop_back();
    qvx::bench::PrintFigure(kName, label + ": where the packets' time went: " + timing);
  }
  return elapsed;
}

bool Judge(const std::string& label, double elapsed, double bound) {
  const double ratio = elapsed / bound;
  return qvx::bench::PrintVerdict(kName, "elapsed/bound, " + label, ratio, "0.95 to 1.05",
                                  ratio >= 0.95 && ratio <= 1.05);
}

void Run(const qvx::bench::BenchOptions& options) {
  qvx::testing::StackOptions stackOptions;
  stackOptions.paced = true;
  qvx::testing::Stack stack(stackOptions);
  stack.ExportToThisProcess();
  // Nobody dawdles at the keypad: only the cable takes time.
  stack.Control("customer approve 0");

  const std::size_t blocks = options.quick ? 4 : qvx::bench::kFullBlocks;
  const int runs = options.quick ? 1 : 3;
  const std::size_t packets = qvx::bench::GetResponsePackets(stack, blocks);
  const double bound = static_cast<double>(packets) * kSecondsPerPacket;

  const std::string signData = qvx::bench::SignData(blocks);
  qvx::bench::PrintFigure(kName, Format("%.0f bytes of sign data, %.0f packets on the cable, "
                                        "bound %.3f s at one packet per ms",
                                        static_cast<double>(blocks * qvx::bench::kBlockBytes),
                                        static_cast<double>(packets), bound));
  Judge("quiet", Measure(stack, signData, runs, "quiet"), bound);
  if (options.quick) return;
  qvx::bench::CpuLoad load;
  const std::string busy =
      Format("every core busy (stress-ng --cpu %.0f)", static_cast<double>(load.Cores()));
  Judge(busy, Measure(stack, signData, runs, busy), bound);
}

}  // namespace

int main(int argc, char** argv) { return qvx::bench::BenchMain(argc, argv, kName, Run); }
