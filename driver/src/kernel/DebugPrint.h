// The driver's debug output.
//
// Offers: DbgPrint(fmt, ...) — printf-style, one line per call (no trailing
// newline needed). Lines go to the sink set with SetDebugSink (the IFD layer
// points it at pcscd's log; tests capture lines). Without a sink: stderr when
// the environment variable QVXRDR_DEBUG is set, otherwise nowhere.
#pragma once

namespace qvx::driver {

// Called with one formatted line; may be called from any thread, but never
// from two threads at once.
using DebugSink = void (*)(void* context, const char* line);

// nullptr restores the default.
void SetDebugSink(DebugSink sink, void* context);

void DbgPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qvx::driver
