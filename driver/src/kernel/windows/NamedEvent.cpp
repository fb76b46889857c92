#include "kernel/NamedEvent.h"

#include "kernel/DebugPrint.h"

namespace qvx::driver {

namespace {

// Event names are ASCII; longer ones are refused.
constexpr USHORT kMaxName = 200;

// Wine's IoCreateNotificationEvent fails on a name that exists (a host
// made the event first), where Windows opens it: open it then.
NTSTATUS OpenExisting(UNICODE_STRING& name, HANDLE* handle, PKEVENT* event) {
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_KERNEL_HANDLE, nullptr, nullptr);
  NTSTATUS status = ZwOpenEvent(handle, EVENT_ALL_ACCESS, &attributes);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  // No object type: ExEventObjectType is data, which the import library
  // does not carry as such.
  status = ObReferenceObjectByHandle(*handle, EVENT_ALL_ACCESS, nullptr, KernelMode,
                                     reinterpret_cast<PVOID*>(event), nullptr);
  if (!NT_SUCCESS(status)) {
    ZwClose(*handle);
  }
  return status;
}

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
  if (event != nullptr) {
    // The returned object is the handle's; a reference of our own keeps it
    // beyond any wait.
    ObReferenceObject(event);
  } else if (!NT_SUCCESS(OpenExisting(unicode, &handle, &event))) {
    DbgPrint("Meridel: cannot create cancel event %s", name);
    return STATUS_UNSUCCESSFUL;
  }
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
  return WaitAnyObject({m_object.event, stop.Object()}, kInfinite);
}

}  // namespace qvx::driver
