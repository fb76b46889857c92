// What every benchmark prints: its figures, one a line, and for each target
// the ratio against the baseline of the same run and whether it was met.
#pragma once

#include <functional>
#include <string>

namespace qvx::bench {

struct BenchOptions {
  bool quick = false;  // the short pass `make test` runs: same steps, less data
};

// The frame of every benchmark program: parses --quick, skips (exit 77)
// where no stack can run, runs `body`, and turns an exception into exit 1.
// A missed target is a figure, not a failure: it still exits 0. On the USB
// lane (QVX_E2E_LANE=usb) the stack is the emulated USB device and every
// line names the benchmark with "[usb]".
int BenchMain(int argc, char** argv, const std::string& bench,
              const std::function<void(const BenchOptions&)>& body);

void PrintFigure(const std::string& bench, const std::string& text);

// "bench: ratio 1.012 (target ...): met" (or "MISSED"); returns `met`.
bool PrintVerdict(const std::string& bench, const std::string& what, double ratio,
                  const std::string& target, bool met);

}  // namespace qvx::bench
