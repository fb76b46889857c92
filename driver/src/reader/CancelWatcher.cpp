#include "reader/CancelWatcher.h"

#include "kernel/DebugPrint.h"
#include "reader/AbortSequence.h"
#include "transport/Transport.h"

namespace qvx::driver {

CCancelWatcher::CCancelWatcher(const char* eventName, CTransport& transport)
    : m_transport(transport) {
  std::size_t i = 0;
  for (; eventName[i] != '\0' && i + 1 < kMaxEventName; ++i) {
    m_eventName[i] = eventName[i];
  }
  m_eventName[i] = '\0';
}

CCancelWatcher::~CCancelWatcher() { Stop(); }

NTSTATUS CCancelWatcher::Start() {
  KMutexGuard guard(m_mutex);
  if (m_thread.Joinable()) {
    return STATUS_SUCCESS;
  }
  {
    KMutexGuard operation(m_operation);
    const NTSTATUS opened = m_cancelEvent.Open(m_eventName);
    if (!NT_SUCCESS(opened)) {
      return opened;
    }
    // A cancel left over from before this watcher ran belongs to nobody.
    m_cancelEvent.Clear();
  }
  m_stop.Clear();
  const NTSTATUS started = m_thread.Start(&CCancelWatcher::RunThread, this);
  if (!NT_SUCCESS(started)) {
    KMutexGuard operation(m_operation);
    m_cancelEvent.Close();
  }
  return started;
}

bool CCancelWatcher::Running() {
  KMutexGuard guard(m_mutex);
  return m_thread.Joinable();
}

void CCancelWatcher::Stop() {
  KMutexGuard guard(m_mutex);
  if (!m_thread.Joinable()) {
    return;
  }
  m_stop.Set();
  m_thread.Join();
  KMutexGuard operation(m_operation);
  m_cancelEvent.Close();
}

void CCancelWatcher::BeginOperation() {
  KMutexGuard guard(m_operation);
  m_cancelEvent.Clear();
  m_operationRunning = true;
}

void CCancelWatcher::EndOperation() {
  KMutexGuard guard(m_operation);
  m_operationRunning = false;
}

void CCancelWatcher::RunThread(void* self) { static_cast<CCancelWatcher*>(self)->Run(); }

void CCancelWatcher::Run() {
  for (;;) {
    // Looks without taking: whether it is still set decides below.
    const NTSTATUS wait = m_cancelEvent.WaitSetOr(m_stop);
    if (wait != STATUS_WAIT_0) {
      if (wait != STATUS_WAIT_0 + 1) {
        DbgPrint("Meridel: cancel watcher wait failed (0x%08x)", static_cast<unsigned>(wait));
      }
      return;
    }
    KMutexGuard guard(m_operation);
    // Still set: an operation that began meanwhile has cleared it.
    const bool stillSet = m_cancelEvent.IsSet();
    if (stillSet && m_operationRunning) {
      const std::uint8_t sequence = NextAbortSequence();
      const NTSTATUS written = m_transport.WriteAbort(sequence);
      if (!NT_SUCCESS(written)) {
        DbgPrint("Meridel: abort packet %02x not written (0x%08x)", sequence,
                 static_cast<unsigned>(written));
      }
    } else if (stillSet) {
      DbgPrint("Meridel: cancel with no request running: nothing to abort");
    }
    m_cancelEvent.Clear();
  }
}

}  // namespace qvx::driver
