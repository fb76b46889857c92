#include "platform/linux/DirectShareLock.h"

#include <poll.h>

#include <chrono>
#include <thread>

#include "contract/ReaderName.h"
#include "objects/KernelObjects.h"
#include "platform/PcscResults.h"
#include "platform/Sync.h"

namespace platform {

namespace {

using pcsc_result::kInternalError;
using pcsc_result::kSharingViolation;
using pcsc_result::kSuccess;

// The driver resets its cancel event once the abort packet is written (a
// manual-reset one) or as it takes it (an automatic-reset one, as the
// plug-in makes it); waiting for that keeps the abort ahead of the
// newcomer's own request at the device. The state is read through the
// event's descriptor: a wait would take an automatic-reset event itself.
constexpr auto kAbortWrittenLimit = std::chrono::milliseconds(500);
constexpr auto kAbortWrittenStep = std::chrono::milliseconds(2);

bool Signalled(HANDLE event) {
  pollfd watched{PollDescriptor(event), POLLIN, 0};
  return watched.fd >= 0 && ::poll(&watched, 1, 0) == 1 && (watched.revents & POLLIN) != 0;
}

void WaitUntilReset(HANDLE event) {
  const auto deadline = std::chrono::steady_clock::now() + kAbortWrittenLimit;
  while (Signalled(event) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kAbortWrittenStep);
  }
}

void CancelDeadHolder(const std::string& readerName) {
  HANDLE event = OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false,
                           qvx::contract::CancelEventName(readerName).c_str());
  if (event == nullptr) return;  // no driver serves the reader: nothing pending
  if (SetEvent(event)) WaitUntilReset(event);
  CloseHandle(event);
}

}  // namespace

// The lock's name carries the product so that it cannot collide with other
// software's objects in the global namespace.
const char* DirectShareLockPrefix() { return "Quorvex2 direct share "; }

HANDLE TakeDirectShareLock(const char* readerName, ::LONG* failure) {
  *failure = kInternalError;
  const std::string name = std::string("Global\\") + DirectShareLockPrefix() + readerName;
  // The lock ends with its last handle, so a holder that died alone leaves
  // no abandoned mutex behind, only the record of its ownership.
  bool ownerDied = false;
  HANDLE mutex = detail::CreateNamedMutexNotingDeadOwner(name.c_str(), &ownerDied);
  if (mutex == nullptr) return nullptr;
  const DWORD wait = WaitForSingleObject(mutex, 0);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    CloseHandle(mutex);
    if (wait == WAIT_TIMEOUT) *failure = kSharingViolation;
    return nullptr;
  }
  if (wait == WAIT_ABANDONED || ownerDied) CancelDeadHolder(readerName);
  *failure = kSuccess;
  return mutex;
}

void ReleaseDirectShareLock(HANDLE lock) {
  if (lock == nullptr) return;
  ReleaseMutex(lock);
  CloseHandle(lock);
}

}  // namespace platform
