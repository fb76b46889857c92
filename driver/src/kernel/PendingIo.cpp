#include "kernel/PendingIo.h"

namespace qvxrdr {

PendingIoCount::PendingIoCount() : idle_(EventType::Synchronization, true) {}

void PendingIoCount::Enter() {
  SpinLockGuard guard(lock_);
  if (++count_ == 2) {
    idle_.Clear();
  }
}

void PendingIoCount::Leave() {
  SpinLockGuard guard(lock_);
  if (--count_ == 1) {
    idle_.Set();
  }
}

std::int32_t PendingIoCount::Count() {
  SpinLockGuard guard(lock_);
  return count_;
}

}  // namespace qvxrdr
