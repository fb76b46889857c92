#include "kernel/Event.h"

namespace qvx::driver {

namespace {

// Relative timeouts are negative, in 100 ns units; none means no limit.
struct Timeout {
  explicit Timeout(std::uint32_t ms) {
    value.QuadPart = -static_cast<LONGLONG>(ms) * 10000;
    pointer = ms == kInfinite ? nullptr : &value;
  }
  LARGE_INTEGER value;
  PLARGE_INTEGER pointer;
};

NTSTATUS FromWaitResult(NTSTATUS result, std::size_t count) {
  if (result == STATUS_TIMEOUT) {
    return STATUS_TIMEOUT;
  }
  if (result >= STATUS_WAIT_0 && result < STATUS_WAIT_0 + static_cast<NTSTATUS>(count)) {
    return result;
  }
  return STATUS_UNSUCCESSFUL;
}

}  // namespace

KEvent::KEvent(EventType type, bool signalled) {
  KeInitializeEvent(&m_event,
                    type == EventType::Notification ? NotificationEvent : SynchronizationEvent,
                    signalled ? TRUE : FALSE);
}

KEvent::~KEvent() = default;

void KEvent::Set() { KeSetEvent(&m_event, IO_NO_INCREMENT, FALSE); }

void KEvent::Clear() { KeClearEvent(&m_event); }

NTSTATUS KEvent::Wait(std::uint32_t timeoutMs) {
  Timeout timeout(timeoutMs);
  return FromWaitResult(
      KeWaitForSingleObject(&m_event, Executive, KernelMode, FALSE, timeout.pointer), 1);
}

NTSTATUS KEvent::WaitAny(std::initializer_list<KEvent*> events, std::uint32_t timeoutMs) {
  PVOID objects[kMaxWaitAny];
  std::size_t count = 0;
  for (KEvent* event : events) {
    if (count == kMaxWaitAny) {
      return STATUS_UNSUCCESSFUL;
    }
    objects[count++] = &event->m_event;
  }
  Timeout timeout(timeoutMs);
  // More than THREAD_WAIT_OBJECTS need wait blocks of their own.
  KWAIT_BLOCK blocks[kMaxWaitAny];
  return FromWaitResult(
      KeWaitForMultipleObjects(static_cast<ULONG>(count), objects, ::WaitAny, Executive, KernelMode,
                               FALSE, timeout.pointer, blocks),
      count);
}

NTSTATUS WaitAnyObject(std::initializer_list<WaitObject> objects, std::uint32_t timeoutMs) {
  if (objects.size() > kMaxWaitAny) {
    return STATUS_UNSUCCESSFUL;
  }
  PVOID list[kMaxWaitAny];
  std::size_t count = 0;
  for (PVOID object : objects) {
    list[count++] = object;
  }
  Timeout timeout(timeoutMs);
  KWAIT_BLOCK blocks[kMaxWaitAny];
  return FromWaitResult(
      KeWaitForMultipleObjects(static_cast<ULONG>(count), list, ::WaitAny, Executive, KernelMode,
                               FALSE, timeout.pointer, blocks),
      count);
}

}  // namespace qvx::driver
