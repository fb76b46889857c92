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

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "kernel/Event.h"
#include "kernel/NtStatus.h"
#include "platform/WinTypes.h"

namespace qvx::driver {

// Owns one platform handle.
class PlatformHandle {
 public:
  PlatformHandle() = default;
  explicit PlatformHandle(platform::HANDLE handle) : m_handle(handle) {}
  ~PlatformHandle() { Reset(); }
  PlatformHandle(const PlatformHandle&) = delete;
  PlatformHandle& operator=(const PlatformHandle&) = delete;

  platform::HANDLE Get() const { return m_handle; }
  void Reset(platform::HANDLE handle = nullptr);
  platform::HANDLE Release() {
    platform::HANDLE handle = m_handle;
    m_handle = nullptr;
    return handle;
  }

 private:
  platform::HANDLE m_handle = nullptr;
};

class CCancelWatcher {
 public:
  // Writes the abort packet with the given sequence byte.
  using AbortWriter = std::function<NTSTATUS(std::uint8_t sequence)>;

  CCancelWatcher(std::string eventName, AbortWriter writeAbort);
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

  const std::string& EventName() const { return m_eventName; }

 private:
  void Run();

  const std::string m_eventName;
  const AbortWriter m_writeAbort;
  std::mutex m_mutex;  // Start and Stop
  // The running operation and the event handle, and the abort decided and
  // written under it, so that no operation begins or ends meanwhile.
  std::mutex m_operation;
  bool m_operationRunning = false;
  PlatformHandle m_cancelEvent;
  KEvent m_stop{EventType::Synchronization, false};
  std::thread m_thread;
};

}  // namespace qvx::driver
