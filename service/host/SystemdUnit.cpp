#include "host/SystemdUnit.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace qvx::host {

namespace {

std::uint32_t CodeFromErrno(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;
    case EEXIST:
      return kErrorServiceExists;
    default:
      return kErrorGenFailure;
  }
}

UnitResult Failure(const char* what, std::uint32_t code, const char* tail = "") {
  char text[255] = {};
  std::snprintf(text, sizeof text, "%s failed w/err 0x%08lx%s", what,
                static_cast<unsigned long>(code), tail);
  return UnitResult{false, code, text};
}

UnitResult Success() { return UnitResult{true, 0, {}}; }

// ExecStart splits on blanks and expands '%' specifiers; quoting keeps a
// path with spaces whole.
std::string QuoteExecPath(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string UnitPath(const std::string& unitDir) {
  return unitDir + "/" + kUnitFileName;
}

// Stands in for opening the service manager: the directory must exist and
// be writable for us.
bool CanManage(const std::string& unitDir, int& err) {
  struct stat st {};
  if (::stat(unitDir.c_str(), &st) != 0) {
    err = errno;
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    err = ENOTDIR;
    return false;
  }
  if (::access(unitDir.c_str(), W_OK | X_OK) != 0) {
    err = errno;
    return false;
  }
  return true;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now so a failing close can be reported.
  int release_close() {
    int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string RenderSystemdUnit(const std::string& programPath) {
  std::string text;
  text += "[Unit]\n";
  text += std::string("Description=") + kServiceDisplayName + "\n";
  text += "\n[Service]\n";
  text += "Type=notify\n";
  text += "ExecStart=" + QuoteExecPath(programPath) + "\n";
  text += "Restart=on-failure\n";
  // A dynamic user with no rights beyond its state directory takes the
  // place of the local service account.
  text += "DynamicUser=yes\n";
  text += "StateDirectory=BRIXWSSVR\n";
  // The log goes below ALLUSERSPROFILE, so this puts it in /var/lib/BRIXWSSVR.
  text += "Environment=ALLUSERSPROFILE=/var/lib\n";
  text += "\n[Install]\n";
  text += "WantedBy=multi-user.target\n";
  return text;
}

std::string UnitDirectory() {
  const char* dir = std::getenv("QVX_SYSTEMD_UNIT_DIR");
  if (dir != nullptr && dir[0] != '\0') return dir;
  return kDefaultUnitDir;
}

UnitResult CurrentProgramPath(std::string& path) {
  std::vector<char> buffer(4096);
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n < 0 || static_cast<std::size_t>(n) >= buffer.size()) {
    return Failure("GetModuleFileName", n < 0 ? CodeFromErrno(errno) : kErrorGenFailure);
  }
  path.assign(buffer.data(), static_cast<std::size_t>(n));
  return Success();
}

UnitResult InstallUnit(const std::string& unitDir, const std::string& programPath) {
  int err = 0;
  if (!CanManage(unitDir, err)) return Failure("OpenSCManager", CodeFromErrno(err));

  const std::string path = UnitPath(unitDir);
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (fd.get() < 0) return Failure("CreateService", CodeFromErrno(errno));

  const bool written = WriteAll(fd.get(), RenderSystemdUnit(programPath));
  err = errno;
  if (!written || fd.release_close() != 0) {
    if (written) err = errno;
    // A half-written unit would block the next install; take it away.
    ::unlink(path.c_str());
    return Failure("CreateService", CodeFromErrno(err));
  }
  return Success();
}

UnitResult RemoveUnit(const std::string& unitDir) {
  int err = 0;
  if (!CanManage(unitDir, err)) return Failure("OpenSCManager", CodeFromErrno(err));

  const std::string path = UnitPath(unitDir);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    return Failure("OpenService",
                   errno == ENOENT ? kErrorServiceDoesNotExist : CodeFromErrno(errno));
  }
  if (::unlink(path.c_str()) != 0) return Failure("DeleteService", CodeFromErrno(errno), "\n");
  return Success();
}

}  // namespace qvx::host
