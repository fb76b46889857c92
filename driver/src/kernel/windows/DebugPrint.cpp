#include "kernel/DebugPrint.h"

#include "kernel/os/Wdm.h"
#include <stdarg.h>

extern "C" int __cdecl _vsnprintf(char* buffer, size_t count, const char* format, va_list args);

namespace qvx::driver {

namespace {

// Set at load, before any device exists, so no lock is needed to read it.
DebugSink g_sink = nullptr;
void* g_context = nullptr;

}  // namespace

void SetDebugSink(DebugSink sink, void* context) {
  g_sink = sink;
  g_context = context;
}

void DbgPrint(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  const int length = _vsnprintf(line, sizeof(line) - 1, format, args);
  va_end(args);
  // _vsnprintf leaves a line that fills the buffer unterminated.
  line[length < 0 ? sizeof(line) - 1 : static_cast<size_t>(length)] = '\0';
  if (g_sink != nullptr) {
    g_sink(g_context, line);
    return;
  }
  ::DbgPrint("%s\n", line);
}

}  // namespace qvx::driver
