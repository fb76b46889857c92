#include "ControlLink.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace qvx::bench {

CControlLink::CControlLink(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path)
    throw std::runtime_error("control socket path too long: " + path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  if (connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    close(m_fd);
    throw std::runtime_error("connect " + path + ": " + std::strerror(error));
  }
}

CControlLink::~CControlLink() {
  if (m_fd >= 0) close(m_fd);
}

std::string CControlLink::Send(const std::string& command) {
  const std::string line = command + "\n";
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = send(m_fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("control socket: send failed for " + command);
    sent += static_cast<std::size_t>(n);
  }
  std::size_t end;
  while ((end = m_pending.find('\n')) == std::string::npos) {
    char buffer[512];
    const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("control socket closed during " + command);
    m_pending.append(buffer, static_cast<std::size_t>(n));
  }
  std::string reply = m_pending.substr(0, end);
  m_pending.erase(0, end + 1);
  if (reply.rfind("OK", 0) != 0)
    throw std::runtime_error("simulator refused \"" + command + "\": " + reply);
  return reply;
}

bool CControlLink::StateShows(const std::string& field, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (Send("state").find(field) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace qvx::bench
