#include "kernel/Event.h"

#include <poll.h>

#include <cerrno>
#include <new>
#include <vector>

#include "platform/Sync.h"

namespace qvx::driver {

namespace {

NTSTATUS FromWaitResult(platform::DWORD result, std::size_t count) {
  if (result == WAIT_TIMEOUT) {
    return STATUS_TIMEOUT;
  }
  if (result < WAIT_OBJECT_0 + count) {
    return STATUS_WAIT_0 + (result - WAIT_OBJECT_0);
  }
  return STATUS_UNSUCCESSFUL;
}

}  // namespace

KEvent::KEvent(EventType type, bool signalled)
    : m_event(CreateEvent(nullptr, type == EventType::Notification, signalled, nullptr)) {
  if (m_event == nullptr) {
    throw std::bad_alloc();
  }
}

KEvent::~KEvent() { CloseHandle(m_event); }

void KEvent::Set() { SetEvent(m_event); }

void KEvent::Clear() { ResetEvent(m_event); }

NTSTATUS KEvent::Wait(std::uint32_t timeoutMs) {
  return FromWaitResult(WaitForSingleObject(m_event, timeoutMs), 1);
}

NTSTATUS KEvent::WaitAny(std::initializer_list<KEvent*> events, std::uint32_t timeoutMs) {
  std::vector<platform::HANDLE> handles;
  handles.reserve(events.size());
  for (KEvent* event : events) {
    handles.push_back(event->Object());
  }
  return FromWaitResult(WaitForMultipleObjects(static_cast<platform::DWORD>(handles.size()),
                                               handles.data(), false, timeoutMs),
                        handles.size());
}

NTSTATUS WaitAnyObject(std::initializer_list<WaitObject> handles, std::uint32_t timeoutMs) {
  return FromWaitResult(WaitForMultipleObjects(static_cast<platform::DWORD>(handles.size()),
                                               handles.begin(), false, timeoutMs),
                        handles.size());
}

NTSTATUS WaitSignalledObject(std::initializer_list<WaitObject> handles, std::uint32_t timeoutMs) {
  std::vector<pollfd> fds;
  fds.reserve(handles.size());
  for (platform::HANDLE handle : handles) {
    const int fd = platform::PollDescriptor(handle);
    if (fd < 0) {
      return STATUS_UNSUCCESSFUL;
    }
    fds.push_back(pollfd{fd, POLLIN, 0});
  }
  const int timeout = timeoutMs == kInfinite ? -1 : static_cast<int>(timeoutMs);
  for (;;) {
    const int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready < 0) {
      return STATUS_UNSUCCESSFUL;
    }
    if (ready == 0) {
      return STATUS_TIMEOUT;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if ((fds[i].revents & POLLIN) != 0) {
        return STATUS_WAIT_0 + static_cast<NTSTATUS>(i);
      }
    }
    return STATUS_UNSUCCESSFUL;
  }
}

}  // namespace qvx::driver
