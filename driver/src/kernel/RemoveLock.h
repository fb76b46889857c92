// The device's remove lock: IO_REMOVE_LOCK on Windows, a counted hold under
// a mutex on Linux (the system part is kernel/os/RemoveLockObject.h).
//
// Offers: RemoveLock — Acquire(tag) takes a hold unless removal has begun
// (then STATUS_DELETE_PENDING); Release(tag) gives it back;
// ReleaseAndWait(tag) gives back the caller's own hold, refuses all later
// acquisitions and waits until every other hold is released. The tag names
// the holder ("PnP", "Pow", "Ioct"); Windows' checked build matches releases
// to acquisitions by it. RemoveLockHold is the scoped form; its
// ReleaseAndWait() hands its hold to the lock's ReleaseAndWait.
#pragma once

#include "kernel/NtStatus.h"
#include "kernel/os/RemoveLockObject.h"

namespace qvx::driver {

class RemoveLock {
 public:
  RemoveLock();
  RemoveLock(const RemoveLock&) = delete;
  RemoveLock& operator=(const RemoveLock&) = delete;

  NTSTATUS Acquire(const char* tag);
  void Release(const char* tag);
  void ReleaseAndWait(const char* tag);
  bool Removed();

 private:
  RemoveLockObject m_lock;
};

class RemoveLockHold {
 public:
  RemoveLockHold(RemoveLock& lock, const char* tag)
      : m_lock(lock), m_tag(tag), m_status(lock.Acquire(tag)) {}
  ~RemoveLockHold() {
    if (Held()) {
      m_lock.Release(m_tag);
    }
  }
  RemoveLockHold(const RemoveLockHold&) = delete;
  RemoveLockHold& operator=(const RemoveLockHold&) = delete;

  // STATUS_SUCCESS when the hold was taken.
  NTSTATUS Status() const { return m_status; }
  bool Held() const { return NT_SUCCESS(m_status) && !m_handedOver; }
  void ReleaseAndWait() {
    if (Held()) {
      m_handedOver = true;
      m_lock.ReleaseAndWait(m_tag);
    }
  }

 private:
  RemoveLock& m_lock;
  const char* m_tag;
  NTSTATUS m_status;
  bool m_handedOver = false;
};

}  // namespace qvx::driver
