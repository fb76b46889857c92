#include "Verdict.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "Stack.h"

namespace qvx::bench {

namespace {

constexpr int kSkipped = 77;  // ctest's SKIP_RETURN_CODE for these

// The lane goes into every line, so runs of both lanes read side by side.
std::string Labelled(const std::string& bench) {
  return qvx::testing::UsbLane() ? bench + "[usb]" : bench;
}

}  // namespace

int BenchMain(int argc, char** argv, const std::string& bench,
              const std::function<void(const BenchOptions&)>& body) {
  BenchOptions options;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      options.quick = true;
    } else {
      std::fprintf(stderr, "usage: %s [--quick]\n", argv[0]);
      return 64;
    }
  }
  std::string why;
  if (!qvx::testing::Stack::Available(&why)) {
    PrintFigure(bench, "skipped: " + why);
    return kSkipped;
  }
  try {
    body(options);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", Labelled(bench).c_str(), e.what());
    return 1;
  }
}

void PrintFigure(const std::string& bench, const std::string& text) {
  std::printf("%s: %s\n", Labelled(bench).c_str(), text.c_str());
  std::fflush(stdout);
}

bool PrintVerdict(const std::string& bench, const std::string& what, double ratio,
                  const std::string& target, bool met) {
  std::printf("%s: %s ratio %.3f (target %s): %s\n", Labelled(bench).c_str(), what.c_str(), ratio,
              target.c_str(), met ? "met" : "MISSED");
  std::fflush(stdout);
  return met;
}

}  // namespace qvx::bench
