#include "app/ControlClient.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "link/UnixSocket.h"

namespace qvx::sim {
namespace {

constexpr int kReplyTimeoutMs = 10000;

bool SendAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t sent = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace

int RunControlClient(const std::string& path, const std::string& line) {
  UniqueFd fd;
  try {
    fd = ConnectUnix(path, SOCK_STREAM);
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "qvxsim ctl: %s\n", e.what());
    return 2;
  }
  if (!SendAll(fd.Get(), line + "\n")) {
    std::fprintf(stderr, "qvxsim ctl: cannot send to %s\n", path.c_str());
    return 2;
  }
  std::string reply;
  while (reply.find('\n') == std::string::npos) {
    pollfd entry{fd.Get(), POLLIN, 0};
    const int ready = ::poll(&entry, 1, kReplyTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      std::fprintf(stderr, "qvxsim ctl: no reply from %s\n", path.c_str());
      return 2;
    }
    char buffer[4096];
    const ssize_t received = ::recv(fd.Get(), buffer, sizeof buffer, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) {
      std::fprintf(stderr, "qvxsim ctl: %s closed without a reply\n", path.c_str());
      return 2;
    }
    reply.append(buffer, static_cast<std::size_t>(received));
  }
  reply.erase(reply.find('\n'));
  std::printf("%s\n", reply.c_str());
  return reply.compare(0, 2, "OK") == 0 ? 0 : 1;
}

}  // namespace qvx::sim
