#include "kernel/RemoveLock.h"

#include "kernel/Pool.h"

namespace qvx::driver {

RemoveLock::RemoveLock() { IoInitializeRemoveLock(&m_lock.lock, kPoolTag, 0, 0); }

// The system's routines take the tag as an untyped pointer and only compare it.
NTSTATUS RemoveLock::Acquire(const char* tag) {
  return IoAcquireRemoveLock(&m_lock.lock, const_cast<char*>(tag));
}

void RemoveLock::Release(const char* tag) {
  IoReleaseRemoveLock(&m_lock.lock, const_cast<char*>(tag));
}

void RemoveLock::ReleaseAndWait(const char* tag) {
  m_lock.removed = true;
  IoReleaseRemoveLockAndWait(&m_lock.lock, const_cast<char*>(tag));
}

bool RemoveLock::Removed() { return m_lock.removed; }

}  // namespace qvx::driver
