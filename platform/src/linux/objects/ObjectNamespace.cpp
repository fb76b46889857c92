#include "objects/ObjectNamespace.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "files/FileNames.h"
#include "platform/Sync.h"
#include "system/PlatformError.h"

namespace platform {

namespace {

const char kGlobalPrefix[] = "Global\\";
const char kLocalPrefix[] = "Local\\";
constexpr std::size_t kLongestSuffixLength = sizeof ".event" - 1;

std::string BaseDirectory() {
  const char* redirect = std::getenv("QVX_OBJECT_DIR");
  return redirect != nullptr && *redirect != '\0' ? redirect : "/dev/shm/quorvex2";
}

[[noreturn]] void ThrowDirectoryErrno(int err) {
  detail::ThrowError(err == ENOENT ? ERROR_PATH_NOT_FOUND : detail::ErrorFromErrno(err));
}

struct stat LinkStatus(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    ThrowDirectoryErrno(errno);
  }
  if (!S_ISDIR(info.st_mode)) {
    detail::ThrowError(ERROR_ACCESS_DENIED);  // a file or symbolic link in its place
  }
  return info;
}

// Sticky and writable for every account, like /tmp: any account may create
// objects, none may remove another's files.
void MakeSharedDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) {
    if (::chmod(path.c_str(), 01777) != 0) {
      ThrowDirectoryErrno(errno);
    }
  } else if (errno != EEXIST) {
    ThrowDirectoryErrno(errno);
  }
  const struct stat info = LinkStatus(path);
  if ((info.st_mode & S_IWOTH) != 0 && (info.st_mode & S_ISVTX) == 0) {
    detail::ThrowError(ERROR_ACCESS_DENIED);  // anyone could replace our files
  }
}

void MakePrivateDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    ThrowDirectoryErrno(errno);
  }
  if (LinkStatus(path).st_uid != ::geteuid()) {
    detail::ThrowError(ERROR_ACCESS_DENIED);  // planted by another account
  }
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

std::string ObjectNamespaceDirectory(bool global) {
  return BaseDirectory() +
         (global ? std::string("/Global") : "/Local-" + std::to_string(::geteuid()));
}

namespace detail {

ObjectPath ResolveObjectName(const std::string& name) {
  bool global = false;
  std::string rest = name;
  if (StartsWith(name, kGlobalPrefix)) {
    global = true;
    rest = name.substr(sizeof kGlobalPrefix - 1);
  } else if (StartsWith(name, kLocalPrefix)) {
    rest = name.substr(sizeof kLocalPrefix - 1);
  }
  ObjectPath path;
  path.escaped = EscapeFileName(rest);
  if (rest.empty() || path.escaped.size() + kLongestSuffixLength > NAME_MAX) {
    ThrowError(ERROR_INVALID_NAME);
  }
  MakeSharedDirectory(BaseDirectory());
  path.directory = ObjectNamespaceDirectory(global);
  if (global) {
    MakeSharedDirectory(path.directory);
  } else {
    MakePrivateDirectory(path.directory);
  }
  return path;
}

UniqueFd OpenOrCreate(const std::string& path, int flags, bool* created) {
  *created = false;
  for (;;) {
    UniqueFd fd(::open(path.c_str(), flags));
    if (fd.Valid()) {
      return fd;
    }
    if (errno != ENOENT) {
      ThrowNameErrno(errno);
    }
    fd.Reset(::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666));
    if (fd.Valid()) {
      *created = true;
      if (::fchmod(fd.Get(), 0666) != 0) {
        ThrowErrno(errno);
      }
      return fd;
    }
    if (errno != EEXIST) {
      ThrowNameErrno(errno);
    }
    // Someone else created it in between: open theirs.
  }
}

NamespaceLock::NamespaceLock(const std::string& directory) {
  bool created = false;
  m_fd = OpenOrCreate(directory + "/.lock", O_RDWR | O_CLOEXEC | O_NOFOLLOW, &created);
  while (::flock(m_fd.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      ThrowErrno(errno);
    }
  }
}

namespace {

std::string ReadContent(int fd) {
  char buffer[64];
  const ssize_t got = ::pread(fd, buffer, sizeof buffer, 0);
  if (got < 0) {
    ThrowErrno(errno);
  }
  return std::string(buffer, static_cast<std::size_t>(got));
}

void WriteContent(int fd, const std::string& content) {
  if (::ftruncate(fd, 0) != 0 ||
      ::pwrite(fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size())) {
    ThrowErrno(errno);
  }
}

void RemoveObjectFiles(const ObjectPath& path) noexcept {
  for (const char* suffix : {".event", ".mutex", ".ref"}) {
    ::unlink(path.File(suffix).c_str());  // may fail in a sticky directory: harmless
  }
}

}  // namespace

ObjectReference::ObjectReference(const ObjectPath& path, const std::string& kind,
                                 const std::string& content, bool create)
    : m_path(path), m_pid(::getpid()) {
  const std::string file = path.File(".ref");
  const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW;
  if (create) {
    bool created = false;
    m_fd = OpenOrCreate(file, flags, &created);
  } else {
    m_fd.Reset(::open(file.c_str(), flags));
    if (!m_fd.Valid()) {
      ThrowNameErrno(errno);
    }
  }
  struct stat info {};
  if (::fstat(m_fd.Get(), &info) != 0) {
    ThrowErrno(errno);
  }
  if (!S_ISREG(info.st_mode)) {
    ThrowError(ERROR_ACCESS_DENIED);
  }
  // Under the namespace lock every other lock on a reference is shared, so
  // an exclusive one succeeds exactly when no handle holds the object.
  if (::flock(m_fd.Get(), LOCK_EX | LOCK_NB) == 0) {
    if (!create) {
      RemoveObjectFiles(m_path);
      ThrowError(ERROR_FILE_NOT_FOUND);
    }
    WriteContent(m_fd.Get(), content);
    m_content = content;
    m_existed = false;
  } else {
    if (errno != EWOULDBLOCK) {
      ThrowErrno(errno);
    }
    m_content = ReadContent(m_fd.Get());
    if (m_content.compare(0, kind.size(), kind) != 0) {
      ThrowError(ERROR_INVALID_HANDLE);  // the name belongs to another kind
    }
    m_existed = true;
  }
  if (::flock(m_fd.Get(), LOCK_SH | LOCK_NB) != 0) {
    ThrowErrno(errno);
  }
}

void ObjectReference::Drop() noexcept {
  if (!m_fd.Valid()) {
    return;
  }
  // A failed conversion loses the shared lock, which is what closing does.
  if (::getpid() == m_pid && ::flock(m_fd.Get(), LOCK_EX | LOCK_NB) == 0) {
    RemoveObjectFiles(m_path);
  }
  m_fd.Reset();
}

}  // namespace detail
}  // namespace platform
