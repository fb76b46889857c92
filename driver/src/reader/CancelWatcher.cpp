#include "reader/CancelWatcher.h"

#include <system_error>
#include <utility>

#include "kernel/DebugPrint.h"
#include "platform/Sync.h"
#include "reader/AbortSequence.h"

namespace qvx::driver {

void PlatformHandle::Reset(platform::HANDLE handle) {
  if (m_handle != nullptr) {
    CloseHandle(m_handle);
  }
  m_handle = handle;
}

CCancelWatcher::CCancelWatcher(std::string eventName, AbortWriter writeAbort)
    : m_eventName(std::move(eventName)), m_writeAbort(std::move(writeAbort)) {}

CCancelWatcher::~CCancelWatcher() { Stop(); }

NTSTATUS CCancelWatcher::Start() {
  std::lock_guard<std::mutex> guard(m_mutex);
  if (m_thread.joinable()) {
    return STATUS_SUCCESS;
  }
  // Manual reset: whichever process sets it, it stays set until the abort
  // has been written.
  PlatformHandle event(CreateEvent(nullptr, true, false, m_eventName.c_str()));
  if (event.Get() == nullptr) {
    DbgPrint("Meridel: cannot create cancel event %s (error %u)", m_eventName.c_str(),
             static_cast<unsigned>(GetLastError()));
    return STATUS_UNSUCCESSFUL;
  }
  // A cancel left over from before this watcher ran belongs to nobody.
  ResetEvent(event.Get());
  m_stop.Clear();
  {
    std::lock_guard<std::mutex> operation(m_operation);
    m_cancelEvent.Reset(event.Release());
  }
  try {
    m_thread = std::thread(&CCancelWatcher::Run, this);
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> operation(m_operation);
    m_cancelEvent.Reset();
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  return STATUS_SUCCESS;
}

bool CCancelWatcher::Running() {
  std::lock_guard<std::mutex> guard(m_mutex);
  return m_thread.joinable();
}

void CCancelWatcher::Stop() {
  std::lock_guard<std::mutex> guard(m_mutex);
  if (!m_thread.joinable()) {
    return;
  }
  m_stop.Set();
  m_thread.join();
  std::lock_guard<std::mutex> operation(m_operation);
  m_cancelEvent.Reset();
}

void CCancelWatcher::BeginOperation() {
  std::lock_guard<std::mutex> guard(m_operation);
  if (m_cancelEvent.Get() != nullptr) {
    ResetEvent(m_cancelEvent.Get());
  }
  m_operationRunning = true;
}

void CCancelWatcher::EndOperation() {
  std::lock_guard<std::mutex> guard(m_operation);
  m_operationRunning = false;
}

void CCancelWatcher::Run() {
  for (;;) {
    // Looks without taking: the event may be an automatic one (whoever
    // creates it first chooses), and whether it is still set decides below.
    const NTSTATUS wait =
        KEvent::WaitSignalledHandle({m_cancelEvent.Get(), m_stop.Handle()}, kInfinite);
    if (wait != STATUS_WAIT_0) {
      if (wait != STATUS_WAIT_0 + 1) {
        DbgPrint("Meridel: cancel watcher wait failed (0x%08x)", static_cast<unsigned>(wait));
      }
      return;
    }
    std::lock_guard<std::mutex> guard(m_operation);
    // Still set: an operation that began meanwhile has cleared it.
    const bool stillSet = KEvent::WaitSignalledHandle({m_cancelEvent.Get()}, 0) == STATUS_WAIT_0;
    if (stillSet && m_operationRunning) {
      const std::uint8_t sequence = NextAbortSequence();
      const NTSTATUS written = m_writeAbort(sequence);
      if (!NT_SUCCESS(written)) {
        DbgPrint("Meridel: abort packet %02x not written (0x%08x)", sequence,
                 static_cast<unsigned>(written));
      }
    } else if (stillSet) {
      DbgPrint("Meridel: cancel with no request running: nothing to abort");
    }
    ResetEvent(m_cancelEvent.Get());
  }
}

}  // namespace qvx::driver
