// Kernel events: KEVENT.
//
// Offers: KEvent (notification = stays signalled until cleared,
// synchronization = a satisfied wait clears it), Set/Clear/Wait and WaitAny
// over several KEvents, in the same shape as the Linux stand-in. Timeouts
// are in milliseconds; kInfinite waits without limit. Waits with a timeout
// other than 0 need PASSIVE_LEVEL.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "kernel/NtStatus.h"

namespace qvx::driver {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

enum class EventType { Notification, Synchronization };

class KEvent {
 public:
  KEvent(EventType type, bool signalled);
  KEvent(const KEvent&) = delete;
  KEvent& operator=(const KEvent&) = delete;

  void Set();
  void Clear();
  // STATUS_SUCCESS when signalled, STATUS_TIMEOUT, or STATUS_UNSUCCESSFUL.
  NTSTATUS Wait(std::uint32_t timeoutMs = kInfinite);

  PKEVENT Object() { return &m_event; }

  // STATUS_WAIT_0 + index of the first signalled event (lowest index wins
  // when several are), STATUS_TIMEOUT, or STATUS_UNSUCCESSFUL. At most
  // kMaxWaitAny events.
  static constexpr std::size_t kMaxWaitAny = 8;
  static NTSTATUS WaitAny(std::initializer_list<KEvent*> events, std::uint32_t timeoutMs);
  // The same over dispatcher objects the caller holds (an event another
  // component made, a thread).
  static NTSTATUS WaitAnyObject(std::initializer_list<PVOID> objects, std::uint32_t timeoutMs);

 private:
  KEVENT m_event;
};

}  // namespace qvx::driver
