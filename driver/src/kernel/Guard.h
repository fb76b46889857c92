// Scoped holds of the driver's locks.
//
// Offers: LockGuard<Lock> — lock() on construction, unlock() on
// destruction, for KMutex and SpinLock alike on both systems (the kernel
// build has no <mutex>).
#pragma once

namespace qvx::driver {

template <class Lock>
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : m_lock(lock) { m_lock.lock(); }
  ~LockGuard() { m_lock.unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& m_lock;
};

}  // namespace qvx::driver
