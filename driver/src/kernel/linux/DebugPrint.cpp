#include "kernel/DebugPrint.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace qvx::driver {

namespace {

void StderrSink(void* /*context*/, const char* line) { std::fprintf(stderr, "%s\n", line); }

struct SinkState {
  std::mutex mutex;
  DebugSink sink = nullptr;
  void* context = nullptr;
};

SinkState& State() {
  static SinkState state;
  return state;
}

DebugSink DefaultSink() {
  static const DebugSink sink = std::getenv("QVXRDR_DEBUG") != nullptr ? &StderrSink : nullptr;
  return sink;
}

}  // namespace

void SetDebugSink(DebugSink sink, void* context) {
  SinkState& state = State();
  std::lock_guard<std::mutex> guard(state.mutex);
  state.sink = sink;
  state.context = context;
}

void DbgPrint(const char* format, ...) {
  SinkState& state = State();
  // The sink is called under the lock so lines never interleave and a sink
  // being replaced is not called afterwards.
  std::lock_guard<std::mutex> guard(state.mutex);
  const DebugSink sink = state.sink != nullptr ? state.sink : DefaultSink();
  if (sink == nullptr) {
    return;
  }
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  sink(state.sink != nullptr ? state.context : nullptr, line);
}

}  // namespace qvx::driver
