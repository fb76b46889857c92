#include "kernel/NamedEvent.h"

#include "kernel/DebugPrint.h"

namespace qvx::driver {

namespace {

// Event names are ASCII; longer ones are refused.
constexpr USHORT kMaxName = 200;

}  // namespace

NTSTATUS KNamedEvent::Open(const char* name) {
  Close();
  WCHAR wide[kMaxName];
  USHORT length = 0;
  for (; name[length] != '\0'; ++length) {
    if (length == kMaxName) {
      return STATUS_INVALID_PARAMETER;
    }
    wide[length] = static_cast<WCHAR>(static_cast<unsigned char>(name[length]));
  }
  UNICODE_STRING unicode;
  unicode.Buffer = wide;
  unicode.Length = static_cast<USHORT>(length * sizeof(WCHAR));
  unicode.MaximumLength = unicode.Length;
  HANDLE handle = nullptr;
  PKEVENT event = IoCreateNotificationEvent(&unicode, &handle);
  if (event == nullptr) {
    DbgPrint("Meridel: cannot create cancel event %s", name);
    return STATUS_UNSUCCESSFUL;
  }
  // The returned object is the handle's; a reference of our own keeps it
  // beyond any wait.
  ObReferenceObject(event);
  m_object.handle = handle;
  m_object.event = event;
  return STATUS_SUCCESS;
}

void KNamedEvent::Close() {
  if (m_object.event != nullptr) {
    ObDereferenceObject(m_object.event);
    ZwClose(m_object.handle);
    m_object = NamedEventObject{};
  }
}

bool KNamedEvent::IsOpen() const { return m_object.event != nullptr; }

void KNamedEvent::Clear() {
  if (m_object.event != nullptr) {
    KeClearEvent(m_object.event);
  }
}

bool KNamedEvent::IsSet() {
  return m_object.event != nullptr && KeReadStateEvent(m_object.event) != 0;
}

// A notification event: waiting does not take it.
NTSTATUS KNamedEvent::WaitSetOr(KEvent& stop) {
  return KEvent::WaitAnyObject({m_object.event, stop.Object()}, kInfinite);
}

}  // namespace qvx::driver
