#include "kernel/RemoveLock.h"

#include "kernel/DebugPrint.h"

namespace qvx::driver {

NTSTATUS RemoveLock::Acquire(const char* /*tag*/) {
  std::lock_guard<std::mutex> guard(m_mutex);
  if (m_removed) {
    return STATUS_DELETE_PENDING;
  }
  ++m_holds;
  return STATUS_SUCCESS;
}

void RemoveLock::Release(const char* tag) {
  std::lock_guard<std::mutex> guard(m_mutex);
  if (m_holds == 0) {
    // A release without a hold would let removal run under a live request.
    DbgPrint("Meridel: remove lock released without a hold (%s)", tag);
    return;
  }
  if (--m_holds == 0) {
    m_released.notify_all();
  }
}

void RemoveLock::ReleaseAndWait(const char* tag) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_removed = true;
  if (m_holds == 0) {
    DbgPrint("Meridel: remove lock released without a hold (%s)", tag);
  } else {
    --m_holds;
  }
  m_released.wait(lock, [this] { return m_holds == 0; });
}

bool RemoveLock::Removed() {
  std::lock_guard<std::mutex> guard(m_mutex);
  return m_removed;
}

}  // namespace qvx::driver
