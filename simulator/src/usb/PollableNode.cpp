#include "usb/PollableNode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace qvx::sim::usb {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PollableNode::PollableNode(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) Fail("unlink " + path);
  if (::mkfifo(path.c_str(), 0666) != 0) Fail("mkfifo " + path);
  // Read-write, so neither this open nor a client's waits for the other end.
  m_fd = UniqueFd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!m_fd) Fail("open " + path);
  // The smallest buffer: little to fill.
  (void)::fcntl(m_fd.Get(), F_SETPIPE_SZ, 4096);
  m_ready = true;
  SetReady(false);
}

PollableNode::~PollableNode() { SetReady(true); }

void PollableNode::SetReady(bool ready) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (ready == m_ready) return;
  char buffer[4096] = {};
  if (ready) {
    while (::read(m_fd.Get(), buffer, sizeof buffer) > 0) {
    }
  } else {
    while (::write(m_fd.Get(), buffer, sizeof buffer) > 0) {
    }
    // A pipe that takes no whole page may still take a few bytes.
    while (::write(m_fd.Get(), buffer, 1) > 0) {
    }
  }
  m_ready = ready;
}

bool PollableNode::Ready() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_ready;
}

}  // namespace qvx::sim::usb
