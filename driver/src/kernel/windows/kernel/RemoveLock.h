// The device's remove lock: IO_REMOVE_LOCK.
//
// Offers: RemoveLock — Acquire(tag) takes a hold unless removal has begun
// (then STATUS_DELETE_PENDING); Release(tag) gives it back;
// ReleaseAndWait(tag) gives back the caller's own hold, refuses all later
// acquisitions and waits until every other hold is released. The tag names
// the holder ("PnP", "Pow", "Ioct"); the system's checked build matches
// releases to acquisitions by it. RemoveLockHold is the scoped form.
#pragma once

#include "kernel/os/Wdm.h"

#include "kernel/NtStatus.h"
#include "kernel/Pool.h"

namespace qvx::driver {

class RemoveLock {
 public:
  RemoveLock() { IoInitializeRemoveLock(&m_lock, kPoolTag, 0, 0); }
  RemoveLock(const RemoveLock&) = delete;
  RemoveLock& operator=(const RemoveLock&) = delete;

  NTSTATUS Acquire(const char* tag) { return IoAcquireRemoveLock(&m_lock, const_cast<char*>(tag)); }
  void Release(const char* tag) { IoReleaseRemoveLock(&m_lock, const_cast<char*>(tag)); }
  void ReleaseAndWait(const char* tag) {
    m_removed = true;
    IoReleaseRemoveLockAndWait(&m_lock, const_cast<char*>(tag));
  }
  bool Removed() const { return m_removed; }

 private:
  IO_REMOVE_LOCK m_lock;
  volatile bool m_removed = false;
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
