// Whole-buffer sends and reads on a Linux socket, for the relay's Linux end
// and its test client.
#pragma once

#include <sys/socket.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "Wire.h"

namespace qvx::testing::relay::wire {

// Fills the buffer, or false when the peer went away or the socket failed.
inline bool ReadExactly(int fd, void* buffer, std::size_t count) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t got = ::recv(fd, bytes, count, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

// Sends all of data; never raises SIGPIPE.
inline bool SendAll(int fd, const Bytes& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t put = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    sent += static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace qvx::testing::relay::wire
