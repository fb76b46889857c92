#include "kernel/NamedEvent.h"

#include "kernel/DebugPrint.h"
#include "platform/Sync.h"

namespace qvx::driver {

NTSTATUS KNamedEvent::Open(const char* name) {
  Close();
  // Manual reset: whichever process sets it, it stays set until the driver
  // clears it.
  m_object = CreateEvent(nullptr, true, false, name);
  if (m_object == nullptr) {
    DbgPrint("Meridel: cannot create cancel event %s (error %u)", name,
             static_cast<unsigned>(GetLastError()));
    return STATUS_UNSUCCESSFUL;
  }
  return STATUS_SUCCESS;
}

void KNamedEvent::Close() {
  if (m_object != nullptr) {
    CloseHandle(m_object);
    m_object = nullptr;
  }
}

bool KNamedEvent::IsOpen() const { return m_object != nullptr; }

void KNamedEvent::Clear() {
  if (m_object != nullptr) {
    ResetEvent(m_object);
  }
}

// Looks without taking: the event may be an automatic one (whoever creates
// it first chooses).
bool KNamedEvent::IsSet() {
  return m_object != nullptr && WaitSignalledObject({m_object}, 0) == STATUS_WAIT_0;
}

NTSTATUS KNamedEvent::WaitSetOr(KEvent& stop) {
  return WaitSignalledObject({m_object, stop.Object()}, kInfinite);
}

}  // namespace qvx::driver
