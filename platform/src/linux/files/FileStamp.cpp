// GetFileStamp over stat(): device and inode, size, and the modification and
// status-change times to the nanosecond.
#include <sys/stat.h>

#include <cerrno>

#include "platform/File.h"
#include "system/PlatformError.h"

namespace platform {

namespace {

constexpr long long kNanosecondsPerSecond = 1000000000LL;

long long Nanoseconds(const timespec& time) {
  return static_cast<long long>(time.tv_sec) * kNanosecondsPerSecond + time.tv_nsec;
}

}  // namespace

bool GetFileStamp(const char* fileName, FileStamp* stamp) {
  return detail::AtEdge(false, [&] {
    if (fileName == nullptr || stamp == nullptr) detail::ThrowError(ERROR_INVALID_PARAMETER);
    struct stat status {};
    if (::stat(fileName, &status) != 0) detail::ThrowNameErrno(errno);
    stamp->volume = static_cast<std::uint64_t>(status.st_dev);
    stamp->index = static_cast<std::uint64_t>(status.st_ino);
    stamp->size = static_cast<long long>(status.st_size);
    stamp->modified = Nanoseconds(status.st_mtim);
    stamp->changed = Nanoseconds(status.st_ctim);
    return true;
  });
}

}  // namespace platform
