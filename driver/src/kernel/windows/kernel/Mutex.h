// Locks of the driver: a sleeping lock and KSPIN_LOCK.
//
// Offers: KMutex (the write gate: a sleeping lock held across a whole packet
// write; the dispatcher hands it to its waiters in arrival order) and
// SpinLock (short critical sections, raising to DISPATCH_LEVEL), each with a
// scoped guard, in the same shape as the Linux stand-ins.
//
// KMutex is a synchronization event that is signalled while the lock is
// free, the shape of a fast mutex, rather than a KMUTEX: Wine's ntoskrnl
// (8.0) never hands a KMUTEX on to a thread that waits for it while
// another holds it (KeReleaseMutex leaves its server mutex owned), so any
// contention, such as the cancel watcher's abort against a running
// request, would block the waiter for ever. Like the stand-in, it is not
// recursive.
#pragma once

#include "kernel/os/Wdm.h"

#include "kernel/Guard.h"

namespace qvx::driver {

class KMutex {
 public:
  KMutex() { KeInitializeEvent(&m_free, SynchronizationEvent, TRUE); }
  KMutex(const KMutex&) = delete;
  KMutex& operator=(const KMutex&) = delete;

  void lock() { KeWaitForSingleObject(&m_free, Executive, KernelMode, FALSE, nullptr); }
  void unlock() { KeSetEvent(&m_free, IO_NO_INCREMENT, FALSE); }

 private:
  KEVENT m_free;
};

class SpinLock {
 public:
  // A spin lock of zero is an initialised one (what KeInitializeSpinLock
  // writes), so a lock in a driver-wide object needs no constructor to run.
  constexpr SpinLock() = default;
  SpinLock(const SpinLock&) = delete;
  SpinLock& operator=(const SpinLock&) = delete;

  void lock() {
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    m_irql = irql;
  }
  void unlock() { KeReleaseSpinLock(&m_lock, m_irql); }

 private:
  KSPIN_LOCK m_lock = 0;
  KIRQL m_irql = PASSIVE_LEVEL;  // of the holder, restored at release
};

using KMutexGuard = LockGuard<KMutex>;
using SpinLockGuard = LockGuard<SpinLock>;

}  // namespace qvx::driver
