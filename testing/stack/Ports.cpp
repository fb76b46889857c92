#include "Ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qvx::testing {

namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// An IPv4 TCP socket bound to 127.0.0.1:port (0: any free port); -1 when the
// port is taken.
int BoundSocket(std::uint16_t port, bool reuseAddress = false) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  const int on = 1;
  if (reuseAddress) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in address = Loopback(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::uint16_t LocalPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

}  // namespace

std::vector<std::uint16_t> FreePorts(std::size_t count) {
  // All held at once, so the kernel hands out distinct ones.
  std::vector<int> sockets;
  std::vector<std::uint16_t> ports;
  for (std::size_t i = 0; i < count; ++i) {
    const int fd = BoundSocket(0);
    if (fd < 0) break;
    sockets.push_back(fd);
    ports.push_back(LocalPort(fd));
  }
  for (const int fd : sockets) ::close(fd);
  if (ports.size() != count) throw std::runtime_error("no free ports");
  return ports;
}

std::string PortList(const std::vector<std::uint16_t>& ports) {
  std::string list;
  for (const std::uint16_t port : ports) list += (list.empty() ? "" : ",") + std::to_string(port);
  return list;
}

PortHolder::PortHolder(std::uint16_t port, bool reuseAddress)
    : m_fd(BoundSocket(port, reuseAddress)) {
  if (m_fd < 0 || ::listen(m_fd, 4) != 0)
    throw std::runtime_error("cannot hold port " + std::to_string(port));
}

PortHolder::~PortHolder() {
  if (m_fd >= 0) ::close(m_fd);
}

int ConnectLoopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const sockaddr_in address = Loopback(port);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool Accepts(std::uint16_t port) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace qvx::testing
