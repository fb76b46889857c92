#include "reader/CancelWatcher.h"

#include <system_error>
#include <utility>

#include "kernel/DebugPrint.h"
#include "platform/Sync.h"
#include "reader/AbortSequence.h"

namespace qvxrdr {

void PlatformHandle::Reset(platform::HANDLE handle) {
  if (handle_ != nullptr) {
    platform::CloseHandle(handle_);
  }
  handle_ = handle;
}

CCancelWatcher::CCancelWatcher(std::string eventName, AbortWriter writeAbort)
    : eventName_(std::move(eventName)), writeAbort_(std::move(writeAbort)) {}

CCancelWatcher::~CCancelWatcher() { Stop(); }

NTSTATUS CCancelWatcher::Start() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (thread_.joinable()) {
    return STATUS_SUCCESS;
  }
  // Manual reset: whichever process sets it, it stays set until the abort
  // has been written.
  PlatformHandle event(platform::CreateEvent(true, false, eventName_.c_str()));
  if (event.Get() == nullptr) {
    DbgPrint("Meridel: cannot create cancel event %s (error %u)", eventName_.c_str(),
             static_cast<unsigned>(platform::GetLastError()));
    return STATUS_UNSUCCESSFUL;
  }
  // A cancel left over from before this watcher ran belongs to nobody.
  platform::ResetEvent(event.Get());
  stop_.Clear();
  {
    std::lock_guard<std::mutex> operation(operation_);
    cancelEvent_.Reset(event.Release());
  }
  try {
    thread_ = std::thread(&CCancelWatcher::Run, this);
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> operation(operation_);
    cancelEvent_.Reset();
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  return STATUS_SUCCESS;
}

bool CCancelWatcher::Running() {
  std::lock_guard<std::mutex> guard(mutex_);
  return thread_.joinable();
}

void CCancelWatcher::Stop() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!thread_.joinable()) {
    return;
  }
  stop_.Set();
  thread_.join();
  std::lock_guard<std::mutex> operation(operation_);
  cancelEvent_.Reset();
}

void CCancelWatcher::BeginOperation() {
  std::lock_guard<std::mutex> guard(operation_);
  if (cancelEvent_.Get() != nullptr) {
    platform::ResetEvent(cancelEvent_.Get());
  }
  operationRunning_ = true;
}

void CCancelWatcher::EndOperation() {
  std::lock_guard<std::mutex> guard(operation_);
  operationRunning_ = false;
}

void CCancelWatcher::Run() {
  for (;;) {
    // Looks without taking: the event may be an automatic one (whoever
    // creates it first chooses), and whether it is still set decides below.
    const NTSTATUS wait = KEvent::WaitSignalledHandle({cancelEvent_.Get(), stop_.Handle()}, kInfinite);
    if (wait != STATUS_WAIT_0) {
      if (wait != STATUS_WAIT_0 + 1) {
        DbgPrint("Meridel: cancel watcher wait failed (0x%08x)", static_cast<unsigned>(wait));
      }
      return;
    }
    std::lock_guard<std::mutex> guard(operation_);
    // Still set: an operation that began meanwhile has cleared it.
    const bool stillSet = KEvent::WaitSignalledHandle({cancelEvent_.Get()}, 0) == STATUS_WAIT_0;
    if (stillSet && operationRunning_) {
      const std::uint8_t sequence = NextAbortSequence();
      const NTSTATUS written = writeAbort_(sequence);
      if (!NT_SUCCESS(written)) {
        DbgPrint("Meridel: abort packet %02x not written (0x%08x)", sequence,
                 static_cast<unsigned>(written));
      }
    } else if (stillSet) {
      DbgPrint("Meridel: cancel with no request running: nothing to abort");
    }
    platform::ResetEvent(cancelEvent_.Get());
  }
}

}  // namespace qvxrdr
