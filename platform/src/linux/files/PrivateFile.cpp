// Private files for keys: mode 0600 whatever the umask, written aside and
// linked into place.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/File.h"

namespace platform {

namespace {

bool Failed(int error) {
  SetLastError(error == EACCES || error == EPERM || error == EROFS || error == ELOOP
                   ? ERROR_ACCESS_DENIED
               : error == ENOENT ? ERROR_FILE_NOT_FOUND
                                 : ERROR_GEN_FAILURE);
  return false;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteNewPrivateFile(const char* fileName, const std::string& contents) {
  const std::string temporary = std::string(fileName) + ".new";
  ::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return Failed(errno);
  const bool written = ::fchmod(fd, 0600) == 0 && WriteAll(fd, contents) && ::fsync(fd) == 0;
  const int writeError = errno;
  if (::close(fd) != 0 || !written) {
    const int error = written ? errno : writeError;
    ::unlink(temporary.c_str());
    return Failed(error);
  }
  // link() never replaces: an existing file wins.
  const int linked = ::link(temporary.c_str(), fileName);
  const int linkError = errno;
  ::unlink(temporary.c_str());
  if (linked != 0 && linkError != EEXIST) return Failed(linkError);
  return true;
}

bool RestrictFileToOwner(const char* fileName) {
  const int fd = ::open(fileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Failed(errno);
  const bool closed = ::fchmod(fd, 0600) == 0;
  const int error = errno;
  ::close(fd);
  return closed || Failed(error);
}

}  // namespace platform
