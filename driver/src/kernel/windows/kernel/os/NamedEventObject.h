// The object behind KNamedEvent on Windows: the event the kernel named,
// its handle and its referenced object.
#pragma once

#include "kernel/os/Wdm.h"

namespace qvx::driver {

struct NamedEventObject {
  HANDLE handle;
  PKEVENT event;
};

}  // namespace qvx::driver
