// The state behind RemoveLock on Linux: the holds, counted under a mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace qvx::driver {

struct RemoveLockObject {
  std::mutex mutex;
  std::condition_variable released;
  std::uint32_t holds = 0;
  bool removed = false;
};

}  // namespace qvx::driver
