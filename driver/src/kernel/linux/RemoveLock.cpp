#include "kernel/RemoveLock.h"

#include "kernel/DebugPrint.h"

namespace qvx::driver {

RemoveLock::RemoveLock() = default;

NTSTATUS RemoveLock::Acquire(const char* /*tag*/) {
  std::lock_guard<std::mutex> guard(m_lock.mutex);
  if (m_lock.removed) {
    return STATUS_DELETE_PENDING;
  }
  ++m_lock.holds;
  return STATUS_SUCCESS;
}

void RemoveLock::Release(const char* tag) {
  std::lock_guard<std::mutex> guard(m_lock.mutex);
  if (m_lock.holds == 0) {
    // A release without a hold would let removal run under a live request.
    DbgPrint("Meridel: remove lock released without a hold (%s)", tag);
    return;
  }
  if (--m_lock.holds == 0) {
    m_lock.released.notify_all();
  }
}

void RemoveLock::ReleaseAndWait(const char* tag) {
  std::unique_lock<std::mutex> lock(m_lock.mutex);
  m_lock.removed = true;
  if (m_lock.holds == 0) {
    DbgPrint("Meridel: remove lock released without a hold (%s)", tag);
  } else {
    --m_lock.holds;
  }
  m_lock.released.wait(lock, [this] { return m_lock.holds == 0; });
}

bool RemoveLock::Removed() {
  std::lock_guard<std::mutex> guard(m_lock.mutex);
  return m_lock.removed;
}

}  // namespace qvx::driver
