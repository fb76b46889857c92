#include "kernel/PendingIo.h"

namespace qvx::driver {

PendingIoCount::PendingIoCount() : m_idle(EventType::Synchronization, true) {}

void PendingIoCount::Enter() {
  SpinLockGuard guard(m_lock);
  if (++m_count == 2) {
    m_idle.Clear();
  }
}

void PendingIoCount::Leave() {
  SpinLockGuard guard(m_lock);
  if (--m_count == 1) {
    m_idle.Set();
  }
}

std::int32_t PendingIoCount::Count() {
  SpinLockGuard guard(m_lock);
  return m_count;
}

}  // namespace qvx::driver
