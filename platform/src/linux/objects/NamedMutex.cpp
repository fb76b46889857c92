// Named mutexes: ownership is an exclusive flock on the handle's own open
// file description of "<name>.mutex", so the kernel releases it when the
// owner dies. The owner keeps "pid start-time" in the file while it owns the
// mutex; finding a record when taking it means the previous owner ended
// without releasing (died, or closed its handle): the mutex was abandoned.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <mutex>
#include <sstream>

#include "objects/KernelObjects.h"
#include "objects/ObjectNamespace.h"
#include "system/PlatformError.h"

namespace platform {
namespace detail {

namespace {

const char kMutexContent[] = "mutex\n";

// The process's start time in clock ticks since boot: with the pid it names
// one process even after pids wrap.
std::string StartTimeToken() {
  std::ifstream stat("/proc/self/stat");
  std::string line;
  std::getline(stat, line);
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos) {
    return "0";
  }
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  for (int number = 3; number <= 22 && (fields >> field); ++number) {
  }
  return field.empty() ? "0" : field;
}

class NamedMutex final : public MutexObject {
 public:
  NamedMutex(ObjectPath path, ObjectReference reference, UniqueFd file, bool owned)
      : m_path(std::move(path)),
        m_reference(std::move(reference)),
        m_file(std::move(file)),
        m_owned(owned) {}

  // Closing an owned handle drops the lock but keeps the record, so the next
  // owner sees the mutex abandoned, as on Windows.
  ~NamedMutex() override {
    try {
      NamespaceLock lock(m_path.directory);
      m_file.Reset();
      m_reference.Drop();
    } catch (...) {
      // The namespace is gone; closing the descriptors is all that is left.
    }
  }

  TakeResult TryTake() override {
    std::lock_guard<std::mutex> guard(m_state);
    if (m_owned) {
      return TakeResult::Busy;  // not recursive: a second wait on this handle waits
    }
    if (::flock(m_file.Get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK || errno == EINTR) {
        return TakeResult::Busy;
      }
      ThrowErrno(errno);
    }
    m_owned = true;
    char probe = 0;
    const bool abandoned = ::pread(m_file.Get(), &probe, 1, 0) == 1;
    WriteOwnerRecord(m_file.Get());  // if this fails, only the abandoned report is lost
    return abandoned ? TakeResult::Abandoned : TakeResult::Taken;
  }

  void Untake() override { Release(); }

  bool Release() override {
    std::lock_guard<std::mutex> guard(m_state);
    if (!m_owned) {
      return false;
    }
    // Clear the record first: dying in between then reads as released.
    (void)::ftruncate(m_file.Get(), 0);
    ::flock(m_file.Get(), LOCK_UN);
    m_owned = false;
    return true;
  }

  int WaitDescriptor() const override { return -1; }

  static bool WriteOwnerRecord(int fd) {
    const std::string record = std::to_string(::getpid()) + " " + StartTimeToken() + "\n";
    return ::ftruncate(fd, 0) == 0 &&
           ::pwrite(fd, record.data(), record.size(), 0) == static_cast<ssize_t>(record.size());
  }

 private:
  ObjectPath m_path;
  ObjectReference m_reference;
  UniqueFd m_file;
  std::mutex m_state;
  bool m_owned;
};

}  // namespace

NamedObject OpenNamedMutex(const std::string& name, bool initialOwner) {
  ObjectPath path = ResolveObjectName(name);
  bool existed = false;
  bool owned = false;
  bool ownerDied = false;
  UniqueFd file;
  std::unique_ptr<ObjectReference> reference;
  {
    NamespaceLock lock(path.directory);
    reference = std::make_unique<ObjectReference>(path, "mutex", kMutexContent, true);
    existed = reference->Existed();
    bool created = false;
    file = OpenOrCreate(path.File(".mutex"), O_RDWR | O_CLOEXEC | O_NOFOLLOW, &created);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
      ThrowErrno(errno);
    }
    if (!S_ISREG(info.st_mode)) {
      ThrowError(ERROR_ACCESS_DENIED);
    }
    if (!existed) {
      // A fresh mutex: forget the record of a previous one that died with
      // its holders (noting that it did). Nobody else can hold the lock yet.
      char probe = 0;
      ownerDied = ::pread(file.Get(), &probe, 1, 0) == 1;
      if (::ftruncate(file.Get(), 0) != 0) {
        ThrowErrno(errno);
      }
      if (initialOwner) {
        if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
          ThrowErrno(errno);
        }
        owned = true;
        if (!NamedMutex::WriteOwnerRecord(file.Get())) {
          ThrowErrno(errno);
        }
      }
    }
  }
  auto mutex =
      std::make_shared<NamedMutex>(std::move(path), std::move(*reference), std::move(file), owned);
  return NamedObject{std::move(mutex), existed, ownerDied};
}

}  // namespace detail
}  // namespace platform
