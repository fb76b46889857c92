#include "ifd/PcscdLog.h"

extern "C" {
#include <PCSC/debuglog.h>
}

#include <cstring>

#include "kernel/DebugPrint.h"

// pcscd provides log_msg when it loads the module; a weak reference keeps
// the module loadable where nobody does.
#pragma weak log_msg

namespace qvx::driver {

namespace {

int PriorityOf(const char* line) {
  return std::strstr(line, "ERROR") != nullptr ? PCSC_LOG_ERROR : PCSC_LOG_INFO;
}

void ToPcscd(void* /*context*/, const char* line) {
  if (&log_msg != nullptr) {
    log_msg(PriorityOf(line), "%s", line);
  }
}

}  // namespace

void RouteDebugLinesToPcscd() { SetDebugSink(&ToPcscd, nullptr); }

}  // namespace qvx::driver
