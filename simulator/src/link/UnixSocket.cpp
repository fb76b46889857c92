#include "link/UnixSocket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace qvx::sim {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

sockaddr_un Address(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path)
    throw std::system_error(ENAMETOOLONG, std::generic_category(), "socket path " + path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

bool SomeoneListens(const std::string& path, int type) {
  UniqueFd probe(::socket(AF_UNIX, type | SOCK_CLOEXEC, 0));
  if (!probe) return false;
  const sockaddr_un address = Address(path);
  return ::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

ListeningSocket::ListeningSocket(const std::string& path, int type) {
  const sockaddr_un address = Address(path);
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode))
      throw std::system_error(EEXIST, std::generic_category(), path + " is not a socket");
    if (SomeoneListens(path, type))
      throw std::system_error(EADDRINUSE, std::generic_category(), path);
    ::unlink(path.c_str());
  }
  m_fd.Reset(::socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!m_fd) Fail("socket");
  if (::bind(m_fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    Fail("bind " + path);
  m_path = path;  // ours from here on, removed by the destructor
  if (::listen(m_fd.Get(), 8) != 0) Fail("listen " + path);
}

ListeningSocket::~ListeningSocket() {
  if (!m_path.empty() && m_fd) ::unlink(m_path.c_str());
}

UniqueFd ListeningSocket::Accept() const {
  for (;;) {
    UniqueFd fd(::accept4(m_fd.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (fd || errno != EINTR) return fd;
  }
}

UniqueFd ConnectUnix(const std::string& path, int type) {
  const sockaddr_un address = Address(path);
  UniqueFd fd(::socket(AF_UNIX, type | SOCK_CLOEXEC, 0));
  if (!fd) Fail("socket");
  if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    Fail("connect " + path);
  return fd;
}

}  // namespace qvx::sim
