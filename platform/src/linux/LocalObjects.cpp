// In-process events and mutexes, each backed by an eventfd so that they can
// be polled together with named objects.
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#include "KernelObjects.h"
#include "PlatformError.h"
#include "platform/posix/UniqueFd.h"

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
      : manualReset_(manualReset), fd_(MakeEventFd(initialState ? 1 : 0, 0)),
        signalled_(initialState) {}

  void Set() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!signalled_) {
      Post(fd_.Get());
      signalled_ = true;
    }
  }

  void Reset() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (signalled_) {
      TakeCount(fd_.Get());
      signalled_ = false;
    }
  }

  TakeResult TryTake() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!signalled_) {
      return TakeResult::Busy;
    }
    if (!manualReset_) {
      TakeCount(fd_.Get());
      signalled_ = false;
    }
    return TakeResult::Taken;
  }

  void Untake() override {
    if (!manualReset_) {
      Set();
    }
  }

  int WaitDescriptor() const override { return fd_.Get(); }

 private:
  const bool manualReset_;
  UniqueFd fd_;
  std::mutex mutex_;
  bool signalled_;
};

// A semaphore eventfd holding 1 while the mutex is free.
class LocalMutex final : public MutexObject {
 public:
  explicit LocalMutex(bool initialOwner)
      : fd_(MakeEventFd(initialOwner ? 0 : 1, EFD_SEMAPHORE)), owned_(initialOwner) {}

  TakeResult TryTake() override {
    if (!TakeCount(fd_.Get())) {
      return TakeResult::Busy;
    }
    owned_ = true;
    return TakeResult::Taken;
  }

  void Untake() override { Release(); }

  bool Release() override {
    if (!owned_.exchange(false)) {
      return false;
    }
    Post(fd_.Get());
    return true;
  }

  int WaitDescriptor() const override { return fd_.Get(); }

 private:
  UniqueFd fd_;
  std::atomic<bool> owned_;
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
