// The thread behind KThread on Linux.
#pragma once

#include <thread>

namespace qvx::driver {

using ThreadObject = std::thread;

}  // namespace qvx::driver
