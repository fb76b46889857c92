// Kernel-style events over the platform layer's in-process events (the
// Linux stand-in for KEVENT).
//
// Offers: KEvent (notification = stays signalled until cleared,
// synchronization = a satisfied wait clears it), Set/Clear/Wait, WaitAny over
// several KEvents, and WaitAnyHandle so a KEvent's Handle() can be waited on
// together with a named platform event. Timeouts are in milliseconds;
// kInfinite waits without limit.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "kernel/NtStatus.h"
#include "platform/WinTypes.h"

namespace qvx::driver {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

enum class EventType { Notification, Synchronization };

class KEvent {
 public:
  // Throws std::bad_alloc when the platform cannot create the event.
  KEvent(EventType type, bool signalled);
  ~KEvent();
  KEvent(const KEvent&) = delete;
  KEvent& operator=(const KEvent&) = delete;

  void Set();
  void Clear();
  // STATUS_SUCCESS when signalled, STATUS_TIMEOUT, or STATUS_UNSUCCESSFUL.
  NTSTATUS Wait(std::uint32_t timeoutMs = kInfinite);

  platform::HANDLE Handle() const { return m_handle; }

  // STATUS_WAIT_0 + index of the first signalled event (lowest index wins
  // when several are), STATUS_TIMEOUT, or STATUS_UNSUCCESSFUL.
  static NTSTATUS WaitAny(std::initializer_list<KEvent*> events, std::uint32_t timeoutMs);
  static NTSTATUS WaitAnyHandle(std::initializer_list<platform::HANDLE> handles,
                                std::uint32_t timeoutMs);
  // Like WaitAnyHandle, but takes nothing: an automatic event stays
  // signalled for whoever looks next. Events only.
  static NTSTATUS WaitSignalledHandle(std::initializer_list<platform::HANDLE> handles,
                                      std::uint32_t timeoutMs);

 private:
  platform::HANDLE m_handle;
};

}  // namespace qvx::driver
