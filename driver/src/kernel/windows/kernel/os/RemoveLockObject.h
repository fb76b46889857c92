// The state behind RemoveLock on Windows: the system's IO_REMOVE_LOCK, and
// whether removal has begun (the system's lock does not say).
#pragma once

#include "kernel/os/Wdm.h"

namespace qvx::driver {

struct RemoveLockObject {
  IO_REMOVE_LOCK lock;
  volatile bool removed = false;
};

}  // namespace qvx::driver
