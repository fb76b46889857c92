#include "Listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "ServeConnection.h"

namespace qvx::testing::relay {

namespace {

std::runtime_error SystemFailure(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

CListener::CListener(std::uint16_t port) {
  m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_fd < 0) throw SystemFailure("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(m_fd, 16) != 0) {
    const std::runtime_error failure = SystemFailure("bind 127.0.0.1:" + std::to_string(port));
    ::close(m_fd);
    throw failure;
  }
  socklen_t length = sizeof(address);
  if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const std::runtime_error failure = SystemFailure("getsockname");
    ::close(m_fd);
    throw failure;
  }
  m_port = ntohs(address.sin_port);
}

CListener::~CListener() {
  if (m_fd >= 0) ::close(m_fd);
}

void CListener::Run(const volatile std::sig_atomic_t* stop, int lifeline) {
  const pid_t parent = ::getpid();
  while (*stop == 0) {
    pollfd watched[2] = {{m_fd, POLLIN, 0}, {lifeline, POLLIN, 0}};
    const int ready = ::poll(watched, lifeline >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) throw SystemFailure("poll");
    if (lifeline >= 0 && watched[1].revents != 0) {
      char byte = 0;
      // Whatever is written is ignored; only the end counts.
      if (::read(lifeline, &byte, 1) <= 0) return;
    }
    if ((watched[0].revents & POLLIN) == 0) continue;
    const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      throw SystemFailure("accept");
    }
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(m_fd);
      // A relay that ends takes its sessions along; its clients are gone
      // by then or about to be.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(0);
      ::signal(SIGTERM, SIG_DFL);
      ::signal(SIGINT, SIG_DFL);
      ::signal(SIGCHLD, SIG_DFL);
      ServeConnection(client);
    }
    if (child < 0) std::perror("qvx-scard-relay: fork");
    ::close(client);
  }
}

}  // namespace qvx::testing::relay
