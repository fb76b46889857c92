// The thread behind KThread on Windows: the referenced thread object of a
// system thread.
#pragma once

#include "kernel/os/Wdm.h"

namespace qvx::driver {

using ThreadObject = PVOID;

}  // namespace qvx::driver
