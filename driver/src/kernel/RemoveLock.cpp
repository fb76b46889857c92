#include "kernel/RemoveLock.h"

#include "kernel/DebugPrint.h"

namespace qvxrdr {

NTSTATUS RemoveLock::Acquire(const char* /*tag*/) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (removed_) {
    return STATUS_DELETE_PENDING;
  }
  ++holds_;
  return STATUS_SUCCESS;
}

void RemoveLock::Release(const char* tag) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (holds_ == 0) {
    // A release without a hold would let removal run under a live request.
    DbgPrint("Meridel: remove lock released without a hold (%s)", tag);
    return;
  }
  if (--holds_ == 0) {
    released_.notify_all();
  }
}

void RemoveLock::ReleaseAndWait(const char* tag) {
  std::unique_lock<std::mutex> lock(mutex_);
  removed_ = true;
  if (holds_ == 0) {
    DbgPrint("Meridel: remove lock released without a hold (%s)", tag);
  } else {
    --holds_;
  }
  released_.wait(lock, [this] { return holds_ == 0; });
}

bool RemoveLock::Removed() {
  std::lock_guard<std::mutex> guard(mutex_);
  return removed_;
}

}  // namespace qvxrdr
