#include "host/Link.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace qvx::sim {
namespace {

// Enough to read a few packets per wake-up without starving the control socket.
constexpr int kMaxReadsPerWake = 64;

}  // namespace

Link::Link(const std::string& path, bool paced, Trace& trace)
    : listener_(path, SOCK_SEQPACKET), inPacer_(paced), outPacer_(paced), trace_(trace) {}

void Link::Collect(std::vector<pollfd>& fds, SteadyTime now) {
  fds.push_back({ListenFd(), POLLIN, 0});
  polledConnection_ = Connected();
  if (polledConnection_) fds.push_back({ConnectionFd(), ConnectionEvents(now), 0});
}

CableInput Link::Serve(const std::vector<pollfd>& fds, std::size_t first, SteadyTime now) {
  CableInput input;
  // A control command of this round may have dropped the connection already.
  if (polledConnection_ && Connected()) {
    const short revents = fds[first + 1].revents;
    if (revents & POLLIN) {
      input.packets = Read(now, input.disconnected);
    } else if (revents & (POLLHUP | POLLERR)) {
      // Packets still queued from a driver that hung up have nobody to answer.
      Drop();
      input.disconnected = true;
    }
  }
  if ((fds[first].revents & POLLIN) && AcceptPending()) input.connected = true;
  return input;
}

bool Link::AcceptPending() {
  bool accepted = false;
  for (UniqueFd fd = listener_.Accept(); fd; fd = listener_.Accept()) {
    if (!plugged_) {
      events_.push_back("connection refused: unplugged");
    } else if (connection_) {
      events_.push_back("connection refused: a driver is connected");
    } else {
      connection_ = std::move(fd);
      blocked_ = false;
      outbox_.clear();
      accepted = true;
    }
  }
  return accepted;
}

short Link::ConnectionEvents(SteadyTime now) const {
  short events = 0;
  if (inPacer_.Ready(now)) events |= POLLIN;
  if (blocked_ && !outbox_.empty()) events |= POLLOUT;
  return events;
}

std::vector<Packet> Link::Read(SteadyTime now, bool& closed) {
  closed = false;
  std::vector<Packet> packets;
  for (int i = 0; i < kMaxReadsPerWake && connection_ && inPacer_.Ready(now); ++i) {
    std::uint8_t buffer[kPacketSize * 2];
    const ssize_t received = ::recv(connection_.Get(), buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
    if (received < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      closed = true;
    } else if (received == 0) {
      closed = true;  // the driver never sends an empty message: this is the hang-up
    }
    if (closed) {
      Drop();
      break;
    }
    const auto size = static_cast<std::size_t>(received);
    if (size != kPacketSize) {
      events_.push_back("ignored a message of " + std::to_string(size) + " bytes");
      continue;
    }
    Packet packet{};
    for (std::size_t b = 0; b < kPacketSize; ++b) packet[b] = buffer[b];
    trace_.HostToDevice(packet);
    inPacer_.Passed(now);
    packets.push_back(packet);
  }
  return packets;
}

void Link::Queue(const std::vector<Packet>& packets) {
  if (!connection_) return;
  outbox_.insert(outbox_.end(), packets.begin(), packets.end());
}

bool Link::Flush(SteadyTime now) {
  while (connection_ && !outbox_.empty() && outPacer_.Ready(now)) {
    const Packet& packet = outbox_.front();
    const ssize_t sent = ::send(connection_.Get(), packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        blocked_ = true;
        return true;
      }
      Drop();
      return false;
    }
    blocked_ = false;
    if (static_cast<std::size_t>(sent) != packet.size()) {
      // A datagram socket sends all or nothing; anything else is a broken peer.
      Drop();
      return false;
    }
    trace_.DeviceToHost(packet);
    outPacer_.Passed(now);
    outbox_.pop_front();
  }
  return true;
}

std::optional<SteadyTime> Link::NextWake(SteadyTime now) const {
  if (!connection_) return std::nullopt;
  std::optional<SteadyTime> wake;
  if (!outbox_.empty() && !blocked_) wake = outPacer_.NextSlot(now);
  if (const auto in = inPacer_.NextSlot(now); in && (!wake || *in < *wake)) wake = in;
  return wake;
}

bool Link::Drop() {
  if (!connection_) return false;
  connection_.Reset();
  outbox_.clear();
  blocked_ = false;
  return true;
}

std::vector<std::string> Link::TakeEvents() { return std::exchange(events_, {}); }

}  // namespace qvx::sim
