// The cancel watcher: a thread per device that waits on the reader's named
// cancel event, which any host process may set, and then writes an abort
// packet so the device ends its current operation.
//
// The abort goes out on the watcher's own thread, between the packets of
// whatever request is running, while that request waits for the device. It
// goes out only for an operation that was running when the event was set:
// a cancel meant for a request that has ended must not end the newcomer's
// request that follows it, nor leave the device an answer nobody reads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/Event.h"
#include "kernel/Mutex.h"
#include "kernel/NamedEvent.h"
#include "kernel/NtStatus.h"
#include "kernel/Thread.h"

namespace qvx::driver {

class CTransport;

class CCancelWatcher {
 public:
  // Longer names are cut (and then name an event no host sets).
  static constexpr std::size_t kMaxEventName = 256;

  // `eventName` as KNamedEvent takes it; the abort packets go out through
  // `transport`.
  CCancelWatcher(const char* eventName, CTransport& transport);
  ~CCancelWatcher();
  CCancelWatcher(const CCancelWatcher&) = delete;
  CCancelWatcher& operator=(const CCancelWatcher&) = delete;

  // Creates or opens the named event, clears it and starts the thread;
  // nothing when already running. Once it returns, a set event is seen.
  NTSTATUS Start();
  bool Running();
  // Ends the thread, waits for it and lets go of the event. A later Start
  // watches again.
  void Stop();

  // Bracket every operation that talks to the device. Begin clears a
  // cancel that came before it; between the two, a set event aborts.
  void BeginOperation();
  void EndOperation();

  const char* EventName() const { return m_eventName; }

 private:
  static void RunThread(void* self);
  void Run();

  char m_eventName[kMaxEventName] = {};
  CTransport& m_transport;
  KMutex m_mutex;  // Start and Stop
  // The running operation and the event, and the abort decided and written
  // under it, so that no operation begins or ends meanwhile.
  KMutex m_operation;
  bool m_operationRunning = false;
  KNamedEvent m_cancelEvent;
  KEvent m_stop{EventType::Synchronization, false};
  KThread m_thread;
};

}  // namespace qvx::driver
