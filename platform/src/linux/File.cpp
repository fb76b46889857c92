// Files as handles: a descriptor behind a kernel object, so CloseHandle and
// the handle table serve them as they serve events and mutexes.
#include "platform/File.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "KernelObjects.h"
#include "PlatformError.h"

namespace platform {

namespace {

using detail::AtEdge;
using detail::ThrowError;

// A file is always signalled, as on Windows once no I/O is pending.
class FileObject final : public KernelObject {
 public:
  explicit FileObject(int fd) : m_fd(fd) {}
  ~FileObject() override { ::close(m_fd); }

  TakeResult TryTake() override { return TakeResult::Taken; }
  void Untake() override {}
  int WaitDescriptor() const override { return -1; }

  int Descriptor() const { return m_fd; }

 private:
  int m_fd;
};

int AccessFlags(DWORD access) {
  const bool read = (access & GENERIC_READ) != 0;
  const bool write = (access & GENERIC_WRITE) != 0;
  const bool append = (access & FILE_APPEND_DATA) != 0;
  int flags = append && !write ? O_APPEND : 0;
  if (read && (write || append)) return flags | O_RDWR;
  if (write || append) return flags | O_WRONLY;
  if (read) return O_RDONLY;
  ThrowError(ERROR_INVALID_PARAMETER);
}

int DispositionFlags(DWORD disposition) {
  switch (disposition) {
    case CREATE_NEW:
      return O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
      return O_CREAT | O_TRUNC;
    case OPEN_EXISTING:
      return 0;
    case OPEN_ALWAYS:
      return O_CREAT;
    default:
      ThrowError(ERROR_INVALID_PARAMETER);
  }
}

FileObject& AsFile(HANDLE file) {
  const std::shared_ptr<KernelObject> object = detail::FindObject(file);
  auto* found = dynamic_cast<FileObject*>(object.get());
  if (found == nullptr) ThrowError(ERROR_INVALID_HANDLE);
  // The table keeps the object alive until CloseHandle; a close racing
  // a write is the caller's error, as on Windows.
  return *found;
}

}  // namespace

HANDLE CreateFile(const char* fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                  void* /*securityAttributes*/, DWORD creationDisposition,
                  DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
  return AtEdge<HANDLE>(INVALID_HANDLE_VALUE, [&] {
    if (fileName == nullptr || *fileName == '\0') ThrowError(ERROR_PATH_NOT_FOUND);
    const int flags =
        AccessFlags(desiredAccess) | DispositionFlags(creationDisposition) | O_CLOEXEC;
    const int fd = ::open(fileName, flags, 0666);
    if (fd < 0) ThrowError(detail::NameErrorFromErrno(errno));
    auto object = std::make_shared<FileObject>(fd);
    HANDLE handle = detail::RegisterObject(std::move(object));
    SetLastError(ERROR_SUCCESS);
    return handle;
  });
}

bool WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               void* /*overlapped*/) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  return AtEdge(false, [&] {
    const int fd = AsFile(file).Descriptor();
    const char* data = static_cast<const char*>(buffer);
    DWORD left = bytesToWrite;
    while (left > 0) {
      const ssize_t written = ::write(fd, data, left);
      if (written < 0) {
        if (errno == EINTR) continue;
        ThrowError(detail::ErrorFromErrno(errno));
      }
      data += written;
      left -= static_cast<DWORD>(written);
      if (bytesWritten != nullptr) *bytesWritten = bytesToWrite - left;
    }
    return true;
  });
}

}  // namespace platform
