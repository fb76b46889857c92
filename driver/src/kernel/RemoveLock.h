// The device's remove lock.
//
// Offers: RemoveLock — Acquire(tag) takes a hold unless removal has begun
// (then STATUS_DELETE_PENDING); Release(tag) gives it back;
// ReleaseAndWait(tag) gives back the caller's own hold, refuses all later
// acquisitions and waits until every other hold is released. The tag names
// the holder ("PnP", "Pow", "Ioct"). RemoveLockHold is the RAII form; its
// ReleaseAndWait() hands its hold to the lock's ReleaseAndWait.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "kernel/NtStatus.h"

namespace qvxrdr {

class RemoveLock {
 public:
  NTSTATUS Acquire(const char* tag);
  void Release(const char* tag);
  void ReleaseAndWait(const char* tag);
  bool Removed();

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::uint32_t holds_ = 0;
  bool removed_ = false;
};

class RemoveLockHold {
 public:
  RemoveLockHold(RemoveLock& lock, const char* tag)
      : lock_(lock), tag_(tag), status_(lock.Acquire(tag)) {}
  ~RemoveLockHold() {
    if (Held()) {
      lock_.Release(tag_);
    }
  }
  RemoveLockHold(const RemoveLockHold&) = delete;
  RemoveLockHold& operator=(const RemoveLockHold&) = delete;

  // STATUS_SUCCESS when the hold was taken.
  NTSTATUS Status() const { return status_; }
  bool Held() const { return NT_SUCCESS(status_) && !handedOver_; }
  void ReleaseAndWait() {
    if (Held()) {
      handedOver_ = true;
      lock_.ReleaseAndWait(tag_);
    }
  }

 private:
  RemoveLock& lock_;
  const char* tag_;
  NTSTATUS status_;
  bool handedOver_ = false;
};

}  // namespace qvxrdr
