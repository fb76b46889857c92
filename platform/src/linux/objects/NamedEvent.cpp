// Named events: a FIFO that holds one byte while the event is signalled.
// Every handle keeps the FIFO open read-write, so its content lives exactly
// as long as the event has handles.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "objects/KernelObjects.h"
#include "objects/ObjectNamespace.h"
#include "system/PlatformError.h"

namespace platform {
namespace detail {

namespace {

const char kManualContent[] = "event manual\n";
const char kAutoContent[] = "event auto\n";

int Pending(int fd) {
  int count = 0;
  if (::ioctl(fd, FIONREAD, &count) != 0) {
    ThrowErrno(errno);
  }
  return count;
}

// True if a byte was read.
bool ReadByte(int fd) {
  char byte = 0;
  for (;;) {
    if (::read(fd, &byte, 1) == 1) {
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

void Drain(int fd) {
  while (ReadByte(fd)) {
  }
}

void WriteByte(int fd) {
  const char byte = 1;
  while (::write(fd, &byte, 1) != 1) {
    if (errno != EINTR) {
      ThrowErrno(errno);
    }
  }
}

class NamedEvent final : public EventObject {
 public:
  NamedEvent(ObjectPath path, ObjectReference reference, UniqueFd fifo, bool manualReset)
      : m_path(std::move(path)),
        m_reference(std::move(reference)),
        m_fifo(std::move(fifo)),
        m_manualReset(manualReset) {}

  ~NamedEvent() override {
    try {
      NamespaceLock lock(m_path.directory);
      m_fifo.Reset();
      m_reference.Drop();
    } catch (...) {
      // The namespace is gone; closing the descriptors is all that is left.
    }
  }

  void Set() override {
    NamespaceLock lock(m_path.directory);
    if (Pending(m_fifo.Get()) == 0) {
      WriteByte(m_fifo.Get());
    }
  }

  void Reset() override {
    NamespaceLock lock(m_path.directory);
    Drain(m_fifo.Get());
  }

  TakeResult TryTake() override {
    if (Pending(m_fifo.Get()) == 0) {
      return TakeResult::Busy;
    }
    if (m_manualReset) {
      return TakeResult::Taken;
    }
    // Several waiters may see the byte; the one that reads it wins.
    NamespaceLock lock(m_path.directory);
    return ReadByte(m_fifo.Get()) ? TakeResult::Taken : TakeResult::Busy;
  }

  void Untake() override {
    if (!m_manualReset) {
      Set();
    }
  }

  int WaitDescriptor() const override { return m_fifo.Get(); }

 private:
  ObjectPath m_path;
  ObjectReference m_reference;
  UniqueFd m_fifo;
  const bool m_manualReset;
};

}  // namespace

NamedObject OpenNamedEvent(const std::string& name, bool create, bool manualReset,
                           bool initialState) {
  ObjectPath path = ResolveObjectName(name);
  bool existed = false;
  bool manual = manualReset;
  UniqueFd fifo;
  std::unique_ptr<ObjectReference> reference;
  {
    NamespaceLock lock(path.directory);
    reference = std::make_unique<ObjectReference>(
        path, "event", manualReset ? kManualContent : kAutoContent, create);
    existed = reference->Existed();
    manual = reference->Content() == kManualContent;

    const std::string file = path.File(".event");
    bool made = false;
    if (!existed) {
      if (::mkfifo(file.c_str(), 0666) == 0) {
        made = true;
      } else if (errno != EEXIST) {
        ThrowNameErrno(errno);
      }
    }
    fifo.Reset(::open(file.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    if (!fifo.Valid()) {
      ThrowNameErrno(errno);
    }
    struct stat info {};
    if (::fstat(fifo.Get(), &info) != 0) {
      ThrowErrno(errno);
    }
    if (!S_ISFIFO(info.st_mode)) {
      ThrowError(ERROR_ACCESS_DENIED);
    }
    if (made && ::fchmod(fifo.Get(), 0666) != 0) {
      ThrowErrno(errno);
    }
    if (!existed) {
      Drain(fifo.Get());  // left over from a holder that died
      if (initialState) {
        WriteByte(fifo.Get());
      }
    }
  }
  auto event =
      std::make_shared<NamedEvent>(std::move(path), std::move(*reference), std::move(fifo), manual);
  return NamedObject{std::move(event), existed};
}

}  // namespace detail
}  // namespace platform
