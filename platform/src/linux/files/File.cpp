// Files as handles: a descriptor behind a kernel object, so CloseHandle and
// the handle table serve them as they serve events and mutexes.
#include "platform/File.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "objects/KernelObjects.h"
#include "system/PlatformError.h"

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

int LinkFlags(DWORD flagsAndAttributes) {
  return (flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0 ? O_NOFOLLOW : 0;
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

// Windows tells a missing file from a missing directory on its way.
DWORD OpenError(const std::string& fileName, int err) {
  if (err == ELOOP) return ERROR_ACCESS_DENIED;  // a link where none may be
  if (err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
  if (err != ENOENT) return detail::NameErrorFromErrno(err);
  const std::size_t slash = fileName.rfind('/');
  if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
  const std::string directory = fileName.substr(0, slash == 0 ? 1 : slash);
  struct stat status {};
  return ::stat(directory.c_str(), &status) == 0 && S_ISDIR(status.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                            : ERROR_PATH_NOT_FOUND;
}

HANDLE Open(const char* fileName, int flags, mode_t mode) {
  if (fileName == nullptr || *fileName == '\0') ThrowError(ERROR_PATH_NOT_FOUND);
  const int fd = ::open(fileName, flags | O_CLOEXEC | O_NOCTTY, mode);
  if (fd < 0) ThrowError(OpenError(fileName, errno));
  auto object = std::make_shared<FileObject>(fd);
  HANDLE handle = detail::RegisterObject(std::move(object));
  SetLastError(ERROR_SUCCESS);
  return handle;
}

}  // namespace

HANDLE CreateFile(const char* fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                  void* /*securityAttributes*/, DWORD creationDisposition, DWORD flagsAndAttributes,
                  HANDLE /*templateFile*/) {
  return AtEdge<HANDLE>(INVALID_HANDLE_VALUE, [&] {
    return Open(fileName,
                AccessFlags(desiredAccess) | DispositionFlags(creationDisposition) |
                    LinkFlags(flagsAndAttributes),
                0666);
  });
}

bool WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               OVERLAPPED* overlapped) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  return AtEdge(false, [&] {
    const int fd = AsFile(file).Descriptor();
    if (overlapped != nullptr) {
      if (overlapped->Offset != 0xFFFFFFFFu || overlapped->OffsetHigh != 0xFFFFFFFFu) {
        ThrowError(ERROR_INVALID_PARAMETER);
      }
      // Files of this layer that are shared for appending are opened for
      // appending; others are moved to their end first.
      if ((::fcntl(fd, F_GETFL) & O_APPEND) == 0 && ::lseek(fd, 0, SEEK_END) < 0) {
        ThrowError(detail::ErrorFromErrno(errno));
      }
    }
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

namespace platform {

bool ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
              void* /*overlapped*/) {
  if (bytesRead != nullptr) *bytesRead = 0;
  return AtEdge(false, [&] {
    const int fd = AsFile(file).Descriptor();
    for (;;) {
      const ssize_t n = ::read(fd, buffer, bytesToRead);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ThrowError(detail::ErrorFromErrno(errno));
      if (bytesRead != nullptr) *bytesRead = static_cast<DWORD>(n);
      return true;
    }
  });
}

bool SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* newPosition,
                      DWORD moveMethod) {
  return AtEdge(false, [&] {
    const int whence = moveMethod == FILE_BEGIN     ? SEEK_SET
                       : moveMethod == FILE_CURRENT ? SEEK_CUR
                       : moveMethod == FILE_END     ? SEEK_END
                                                    : -1;
    if (whence < 0) ThrowError(ERROR_INVALID_PARAMETER);
    const off_t at =
        ::lseek(AsFile(file).Descriptor(), static_cast<off_t>(distance.QuadPart), whence);
    if (at < 0) ThrowError(detail::ErrorFromErrno(errno));
    if (newPosition != nullptr) newPosition->QuadPart = static_cast<long long>(at);
    return true;
  });
}

bool SetEndOfFile(HANDLE file) {
  return AtEdge(false, [&] {
    const int fd = AsFile(file).Descriptor();
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at < 0 || ::ftruncate(fd, at) != 0) ThrowError(detail::ErrorFromErrno(errno));
    return true;
  });
}

bool GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
  return AtEdge(false, [&] {
    struct stat status {};
    if (::fstat(AsFile(file).Descriptor(), &status) != 0) {
      ThrowError(detail::ErrorFromErrno(errno));
    }
    size->QuadPart = static_cast<long long>(status.st_size);
    return true;
  });
}

HANDLE CreateOwnFile(const char* fileName) {
  return AtEdge<HANDLE>(INVALID_HANDLE_VALUE, [&] {
    HANDLE handle = Open(fileName, O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW, 0600);
    struct stat status {};
    if (::fstat(AsFile(handle).Descriptor(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid()) {
      CloseHandle(handle);
      ThrowError(ERROR_ACCESS_DENIED);
    }
    return handle;
  });
}

}  // namespace platform
