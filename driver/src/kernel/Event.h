// Kernel events: KEVENT on Windows, the platform layer's in-process events
// on Linux (the system part is kernel/os/EventObject.h).
//
// Offers: KEvent (notification = stays signalled until cleared,
// synchronization = a satisfied wait clears it), Set/Clear/Wait, WaitAny
// over several KEvents, and Object(), the system's object, for the waits
// together with objects other components made (WaitAnyObject, and on Linux
// WaitSignalledObject, in kernel/os/EventObject.h). Timeouts are in
// milliseconds; kInfinite waits without limit. On Windows, waits with a
// timeout other than 0 need PASSIVE_LEVEL, and WaitAny takes at most
// kMaxWaitAny events.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "kernel/NtStatus.h"
#include "kernel/Wait.h"
#include "kernel/os/EventObject.h"

namespace qvx::driver {

class KEvent {
 public:
  // On Linux, throws std::bad_alloc when the platform cannot create the event.
  KEvent(EventType type, bool signalled);
  ~KEvent();
  KEvent(const KEvent&) = delete;
  KEvent& operator=(const KEvent&) = delete;

  void Set();
  void Clear();
  // STATUS_SUCCESS when signalled, STATUS_TIMEOUT, or STATUS_UNSUCCESSFUL.
  NTSTATUS Wait(std::uint32_t timeoutMs = kInfinite);

  WaitObject Object() { return ObjectOf(m_event); }

  // STATUS_WAIT_0 + index of the first signalled event (lowest index wins
  // when several are), STATUS_TIMEOUT, or STATUS_UNSUCCESSFUL.
  static NTSTATUS WaitAny(std::initializer_list<KEvent*> events, std::uint32_t timeoutMs);

 private:
  EventObject m_event;
};

}  // namespace qvx::driver
