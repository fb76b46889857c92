// MsgWaitForMultipleObjects over the platform's poll-based wait: the
// objects are tried without blocking, then one poll() covers the objects'
// descriptors and the queue's.
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <vector>

#include "MessageQueue.h"
#include "platform/Messages.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point start, DWORD milliseconds) {
  if (milliseconds == INFINITE) return -1;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  const long long left = static_cast<long long>(milliseconds) - elapsed;
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

// Named mutexes have no descriptor, and "all of them" cannot be polled:
// those waits look again after this long.
constexpr int kRetryMs = 10;

}  // namespace

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* objects, bool waitAll,
                                DWORD milliseconds, DWORD wakeMask) {
  const Clock::time_point start = Clock::now();
  if (count > MAXIMUM_WAIT_OBJECTS - 1 || (count > 0 && objects == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  detail::ThreadQueue* queue = detail::CurrentQueue();
  if (queue == nullptr) return WAIT_FAILED;
  const bool wantMessages = (wakeMask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) != 0;

  std::vector<pollfd> descriptors;
  for (;;) {
    if (count > 0) {
      const DWORD result = WaitForMultipleObjects(count, objects, waitAll, 0);
      if (result != WAIT_TIMEOUT) return result;
    }
    if (wantMessages && detail::HasMessage(*queue)) return WAIT_OBJECT_0 + count;
    int timeout = RemainingMs(start, milliseconds);
    if (timeout == 0) return WAIT_TIMEOUT;

    descriptors.clear();
    if (wantMessages) descriptors.push_back(pollfd{detail::Descriptor(*queue), POLLIN, 0});
    bool retry = waitAll && count > 0;
    for (DWORD i = 0; i < count && !waitAll; ++i) {
      const int fd = PollDescriptor(objects[i]);
      if (fd < 0) {
        retry = true;
      } else {
        descriptors.push_back(pollfd{fd, POLLIN, 0});
      }
    }
    if (retry) timeout = timeout < 0 ? kRetryMs : std::min(timeout, kRetryMs);
    if (::poll(descriptors.data(), descriptors.size(), timeout) < 0 && errno != EINTR) {
      SetLastError(ERROR_GEN_FAILURE);
      return WAIT_FAILED;
    }
  }
}

}  // namespace platform
