#include "files/FileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "system/PlatformError.h"

namespace platform {
namespace detail {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

// Empties the directory open as `fd` (takes ownership of it).
void RemoveContents(UniqueFd fd) {
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd.Get()));
  if (!dir) {
    ThrowErrno(errno);
  }
  const int dirFd = fd.Release();  // now owned by `dir`
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  if (errno != 0) {
    ThrowErrno(errno);
  }
  for (const std::string& name : names) {
    struct stat info {};
    if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) {
        continue;
      }
      ThrowErrno(errno);
    }
    if (S_ISDIR(info.st_mode)) {
      UniqueFd child(
          ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!child.Valid()) {
        ThrowErrno(errno);
      }
      RemoveContents(std::move(child));
      if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        ThrowErrno(errno);
      }
    } else if (::unlinkat(dirFd, name.c_str(), 0) != 0 && errno != ENOENT) {
      ThrowErrno(errno);
    }
  }
}

}  // namespace

void RemoveTree(const std::string& directory, bool includeSelf) {
  UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.Valid()) {
    ThrowErrno(errno);
  }
  RemoveContents(std::move(fd));
  if (includeSelf && ::rmdir(directory.c_str()) != 0) {
    ThrowErrno(errno);
  }
}

}  // namespace detail
}  // namespace platform
