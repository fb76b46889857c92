// qvx-socket-activate SOCKET_PATH -- PROGRAM ARGS...
//
// Hands PROGRAM a listening AF_UNIX socket the way systemd's socket
// activation does (fd 3, LISTEN_FDS=1, LISTEN_PID). pcscd always binds its
// compiled-in socket path unless it is socket-activated, so this is how a
// test gets a pcscd on a socket of its own, next to the system's.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kListenFd = 3;  // SD_LISTEN_FDS_START

int Fail(const std::string& what) {
  std::fprintf(stderr, "qvx-socket-activate: %s\n", what.c_str());
  return 1;
}

int FailErrno(const std::string& what) { return Fail(what + ": " + std::strerror(errno)); }

int Usage() {
  std::fprintf(stderr,
               "usage: qvx-socket-activate SOCKET_PATH -- PROGRAM ARGS...\n"
               "  Listens on the AF_UNIX stream socket SOCKET_PATH and runs "
               "PROGRAM (a path) with\n  the socket as fd 3, LISTEN_FDS=1 "
               "and LISTEN_PID set, as systemd does.\n");
  return 2;
}

// A socket left behind by an earlier run may go; anything else stays.
bool RemoveStaleSocket(const std::string& path, std::string* error) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return true;
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISSOCK(info.st_mode)) {
    *error = path + " exists and is not a socket";
    return false;
  }
  if (unlink(path.c_str()) != 0) {
    *error = "cannot remove " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 4 || std::strcmp(argv[2], "--") != 0) return Usage();
  const std::string path = argv[1];
  const char* program = argv[3];

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path)
    return Fail("socket path must have 1 to " + std::to_string(sizeof address.sun_path - 1) +
                " characters: " + path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  std::string error;
  if (!RemoveStaleSocket(path, &error)) return Fail(error);

  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  if (listener < 0) return FailErrno("socket");
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return FailErrno("bind " + path);
  // Clients run as any user, as they do with the system's pcscd.
  if (chmod(path.c_str(), 0666) != 0) {
    const int saved = errno;
    unlink(path.c_str());
    errno = saved;
    return FailErrno("chmod " + path);
  }
  if (listen(listener, SOMAXCONN) != 0) {
    const int saved = errno;
    unlink(path.c_str());
    errno = saved;
    return FailErrno("listen " + path);
  }
  if (listener != kListenFd) {
    // dup2 also clears close-on-exec on the copy.
    if (dup2(listener, kListenFd) < 0) {
      const int saved = errno;
      unlink(path.c_str());
      errno = saved;
      return FailErrno("dup2");
    }
    close(listener);
  }

  // exec keeps the pid, so the activated program finds itself in LISTEN_PID.
  const std::string pid = std::to_string(getpid());
  if (setenv("LISTEN_FDS", "1", 1) != 0 || setenv("LISTEN_PID", pid.c_str(), 1) != 0 ||
      unsetenv("LISTEN_FDNAMES") != 0)
    return FailErrno("setenv");

  std::vector<char*> args(argv + 3, argv + argc);
  args.push_back(nullptr);
  execv(program, args.data());
  const int saved = errno;
  unlink(path.c_str());
  errno = saved;
  FailErrno(std::string("cannot run ") + program);
  return 127;
}
