#include "PingPong.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>

namespace qvx::bench {

namespace {

using Packet = std::array<unsigned char, 8>;

// The echoing peer; ends when the other side closes.
[[noreturn]] void Echo(int fd) {
  Packet packet{};
  while (true) {
    const ssize_t got = recv(fd, packet.data(), packet.size(), 0);
    if (got <= 0) {
      if (got < 0 && errno == EINTR) continue;
      _exit(0);
    }
    if (send(fd, packet.data(), static_cast<std::size_t>(got), 0) != got) _exit(1);
  }
}

void Bounce(int fd, std::size_t roundTrips) {
  Packet packet{0x00, 0x06, 1, 2, 3, 4, 5, 6};
  for (std::size_t i = 0; i < roundTrips; ++i) {
    if (send(fd, packet.data(), packet.size(), 0) != static_cast<ssize_t>(packet.size()))
      throw std::runtime_error(std::string("send: ") + std::strerror(errno));
    if (recv(fd, packet.data(), packet.size(), 0) != static_cast<ssize_t>(packet.size()))
      throw std::runtime_error(std::string("recv: ") + std::strerror(errno));
  }
}

}  // namespace

double RawSeqpacketPacketsPerSecond(std::size_t roundTrips) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
    throw std::runtime_error(std::string("socketpair: ") + std::strerror(errno));
  const pid_t peer = fork();
  if (peer < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (peer == 0) {
    close(pair[0]);
    Echo(pair[1]);
  }
  close(pair[1]);
  double perSecond = 0;
  try {
    Bounce(pair[0], roundTrips / 10 + 1);  // warm-up
    const auto start = std::chrono::steady_clock::now();
    Bounce(pair[0], roundTrips);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    perSecond = 2.0 * static_cast<double>(roundTrips) / elapsed.count();
  } catch (...) {
    close(pair[0]);
    waitpid(peer, nullptr, 0);
    throw;
  }
  close(pair[0]);
  waitpid(peer, nullptr, 0);
  return perSecond;
}

}  // namespace qvx::bench
