// In-process events and mutexes, each backed by an eventfd so that they can
// be polled together with named objects.
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#include "objects/KernelObjects.h"
#include "platform/posix/UniqueFd.h"
#include "system/PlatformError.h"

namespace platform {
namespace detail {

namespace {

UniqueFd MakeEventFd(unsigned initial, int flags) {
  UniqueFd fd(::eventfd(initial, EFD_CLOEXEC | EFD_NONBLOCK | flags));
  if (!fd.Valid()) {
    ThrowErrno(errno);
  }
  return fd;
}

void Post(int fd) {
  const std::uint64_t one = 1;
  while (::write(fd, &one, sizeof one) < 0) {
    if (errno != EINTR) {
      ThrowErrno(errno);
    }
  }
}

// True if a count was taken; false if the counter was zero.
bool TakeCount(int fd) {
  std::uint64_t value = 0;
  for (;;) {
    if (::read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value)) {
      return true;
    }
    if (errno == EAGAIN) {
      return false;
    }
    if (errno != EINTR) {
      ThrowErrno(errno);
    }
  }
}

// The eventfd counter is 1 exactly while the event is signalled.
class LocalEvent final : public EventObject {
 public:
  LocalEvent(bool manualReset, bool initialState)
      : m_manualReset(manualReset),
        m_fd(MakeEventFd(initialState ? 1 : 0, 0)),
        m_signalled(initialState) {}

  void Set() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_signalled) {
      Post(m_fd.Get());
      m_signalled = true;
    }
  }

  void Reset() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_signalled) {
      TakeCount(m_fd.Get());
      m_signalled = false;
    }
  }

  TakeResult TryTake() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_signalled) {
      return TakeResult::Busy;
    }
    if (!m_manualReset) {
      TakeCount(m_fd.Get());
      m_signalled = false;
    }
    return TakeResult::Taken;
  }

  void Untake() override {
    if (!m_manualReset) {
      Set();
    }
  }

  int WaitDescriptor() const override { return m_fd.Get(); }

 private:
  const bool m_manualReset;
  UniqueFd m_fd;
  std::mutex m_mutex;
  bool m_signalled;
};

// A semaphore eventfd holding 1 while the mutex is free.
class LocalMutex final : public MutexObject {
 public:
  explicit LocalMutex(bool initialOwner)
      : m_fd(MakeEventFd(initialOwner ? 0 : 1, EFD_SEMAPHORE)), m_owned(initialOwner) {}

  TakeResult TryTake() override {
    if (!TakeCount(m_fd.Get())) {
      return TakeResult::Busy;
    }
    m_owned = true;
    return TakeResult::Taken;
  }

  void Untake() override { Release(); }

  bool Release() override {
    if (!m_owned.exchange(false)) {
      return false;
    }
    Post(m_fd.Get());
    return true;
  }

  int WaitDescriptor() const override { return m_fd.Get(); }

 private:
  UniqueFd m_fd;
  std::atomic<bool> m_owned;
};

}  // namespace

std::shared_ptr<KernelObject> MakeLocalEvent(bool manualReset, bool initialState) {
  return std::make_shared<LocalEvent>(manualReset, initialState);
}

std::shared_ptr<KernelObject> MakeLocalMutex(bool initialOwner) {
  return std::make_shared<LocalMutex>(initialOwner);
}

}  // namespace detail
}  // namespace platform
