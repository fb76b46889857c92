#include "ServeConnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>

#include "RunRequest.h"
#include "wire/SocketIo.h"
#include "wire/Stream.h"

namespace qvx::testing::relay {

namespace {

// Waits for the client's hang-up without reading (the serving thread owns
// the reads), then ends the process mid-call if need be. POLLIN is not
// asked for, so pending requests do not wake it.
void WatchForHangUp(int fd) {
  pollfd watched{fd, POLLRDHUP, 0};
  while (true) {
    const int ready = ::poll(&watched, 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (watched.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0) {
      ::_exit(0);
    }
  }
}

}  // namespace

void ServeConnection(int fd) {
  std::thread(WatchForHangUp, fd).detach();
  platform::ISCard& scard = platform::SystemSCard();
  while (true) {
    const std::optional<wire::Bytes> request = wire::ReadFrame(
        [fd](void* buffer, std::size_t count) { return wire::ReadExactly(fd, buffer, count); });
    if (!request) break;
    const std::optional<wire::Bytes> reply = RunRequest(scard, *request);
    if (!reply) {
      std::fprintf(stderr, "qvx-scard-relay: malformed request; closing the connection\n");
      break;
    }
    if (!wire::SendAll(fd, wire::FrameOf(*reply))) break;
  }
  // Whatever the client left open goes with the process, as with any
  // pcsc-lite client that ends.
  ::_exit(0);
}

}  // namespace qvx::testing::relay
