// Locks of the driver.
//
// Offers: KMutex (the write gate: a sleeping lock held across a whole packet
// write, handed to its waiters in arrival order) and SpinLock (short
// critical sections, e.g. the outstanding IN transfer), each with an RAII
// guard. Both satisfy BasicLockable.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace qvxrdr {

// First come, first served: a thread that releases the gate and takes it
// again at once (a request writing its data packets) must not starve a
// thread already waiting (the cancel watcher with its abort packet).
class KMutex {
 public:
  void lock() {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t ticket = next_++;
    turn_.wait(lock, [this, ticket] { return serving_ == ticket; });
  }
  void unlock() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      ++serving_;
    }
    turn_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  std::uint64_t next_ = 0;
  std::uint64_t serving_ = 0;
};

class SpinLock {
 public:
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

using KMutexGuard = std::lock_guard<KMutex>;
using SpinLockGuard = std::lock_guard<SpinLock>;

}  // namespace qvxrdr
