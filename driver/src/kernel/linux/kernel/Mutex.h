// Locks of the driver.
//
// Offers: KMutex (the write gate: a sleeping lock held across a whole packet
// write, handed to its waiters in arrival order) and SpinLock (short
// critical sections, e.g. the outstanding IN transfer), each with an RAII
// guard. Both satisfy BasicLockable. The Linux stand-ins, over std::mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "kernel/Guard.h"

namespace qvx::driver {

// First come, first served: a thread that releases the gate and takes it
// again at once (a request writing its data packets) must not starve a
// thread already waiting (the cancel watcher with its abort packet).
class KMutex {
 public:
  void lock() {
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::uint64_t ticket = m_next++;
    m_turn.wait(lock, [this, ticket] { return m_serving == ticket; });
  }
  void unlock() {
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      ++m_serving;
    }
    m_turn.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_turn;
  std::uint64_t m_next = 0;
  std::uint64_t m_serving = 0;
};

class SpinLock {
 public:
  void lock() { m_mutex.lock(); }
  void unlock() { m_mutex.unlock(); }

 private:
  std::mutex m_mutex;
};

using KMutexGuard = LockGuard<KMutex>;
using SpinLockGuard = LockGuard<SpinLock>;

}  // namespace qvx::driver
