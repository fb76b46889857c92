// A 25,600-byte GetResponse on a device that takes and sends one packet per
// millisecond: the elapsed time against the bound its packet count sets.
#include <algorithm>
#include <cstdio>
#include <vector>

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
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(qvx::bench::TimeGetResponse(signData));
  std::sort(times.begin(), times.end());
  const double elapsed = times[times.size() / 2];

  qvx::bench::PrintFigure(kName, Format("%.0f bytes of sign data, %.0f packets on the cable, "
                                        "bound %.3f s at one packet per ms",
                                        static_cast<double>(blocks * qvx::bench::kBlockBytes),
                                        static_cast<double>(packets), bound));
  qvx::bench::PrintFigure(
      kName, Format("elapsed %.3f s (median of %.0f runs)", elapsed, static_cast<double>(runs)));
  const double ratio = elapsed / bound;
  qvx::bench::PrintVerdict(kName, "elapsed/bound", ratio, "0.95 to 1.05",
                           ratio >= 0.95 && ratio <= 1.05);
}

}  // namespace

int main(int argc, char** argv) { return qvx::bench::BenchMain(argc, argv, kName, Run); }
