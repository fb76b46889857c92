#include "link/Link.h"

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
    : m_listener(path, SOCK_SEQPACKET), m_inPacer(paced), m_outPacer(paced), m_trace(trace) {}

void Link::Collect(std::vector<pollfd>& fds, SteadyTime now) {
  fds.push_back({ListenFd(), POLLIN, 0});
  m_polledConnection = Connected();
  if (m_polledConnection) fds.push_back({ConnectionFd(), ConnectionEvents(now), 0});
}

CableInput Link::Serve(const std::vector<pollfd>& fds, std::size_t first, SteadyTime now) {
  CableInput input;
  // A control command of this round may have dropped the connection already.
  if (m_polledConnection && Connected()) {
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
  for (UniqueFd fd = m_listener.Accept(); fd; fd = m_listener.Accept()) {
    if (!m_plugged) {
      m_events.push_back("connection refused: unplugged");
    } else if (m_connection) {
      m_events.push_back("connection refused: a driver is connected");
    } else {
      m_connection = std::move(fd);
      m_blocked = false;
      m_outbox.clear();
      accepted = true;
    }
  }
  return accepted;
}

short Link::ConnectionEvents(SteadyTime now) const {
  short events = 0;
  if (m_inPacer.Ready(now)) events |= POLLIN;
  if (m_blocked && !m_outbox.empty()) events |= POLLOUT;
  return events;
}

std::vector<Packet> Link::Read(SteadyTime now, bool& closed) {
  closed = false;
  std::vector<Packet> packets;
  for (int i = 0; i < kMaxReadsPerWake && m_connection && m_inPacer.Ready(now); ++i) {
    std::uint8_t buffer[kPacketSize * 2];
    const ssize_t received =
        ::recv(m_connection.Get(), buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
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
      m_events.push_back("ignored a message of " + std::to_string(size) + " bytes");
      continue;
    }
    Packet packet{};
    for (std::size_t b = 0; b < kPacketSize; ++b) packet[b] = buffer[b];
    m_trace.HostToDevice(packet);
    m_inPacer.Passed(now);
    packets.push_back(packet);
  }
  return packets;
}

void Link::Queue(const std::vector<Packet>& packets) {
  if (!m_connection) return;
  m_outbox.insert(m_outbox.end(), packets.begin(), packets.end());
}

bool Link::Flush(SteadyTime now) {
  while (m_connection && !m_outbox.empty() && m_outPacer.Ready(now)) {
    const Packet& packet = m_outbox.front();
    const ssize_t sent =
        ::send(m_connection.Get(), packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        m_blocked = true;
        return true;
      }
      Drop();
      return false;
    }
    m_blocked = false;
    if (static_cast<std::size_t>(sent) != packet.size()) {
      // A datagram socket sends all or nothing; anything else is a broken peer.
      Drop();
      return false;
    }
    m_trace.DeviceToHost(packet);
    m_outPacer.Passed(now);
    m_outbox.pop_front();
  }
  return true;
}

std::optional<SteadyTime> Link::NextWake(SteadyTime now) const {
  if (!m_connection) return std::nullopt;
  std::optional<SteadyTime> wake;
  if (!m_outbox.empty() && !m_blocked) wake = m_outPacer.NextSlot(now);
  if (const auto in = m_inPacer.NextSlot(now); in && (!wake || *in < *wake)) wake = in;
  return wake;
}

bool Link::Drop() {
  if (!m_connection) return false;
  m_connection.Reset();
  m_outbox.clear();
  m_blocked = false;
  return true;
}

std::vector<std::string> Link::TakeEvents() { return std::exchange(m_events, {}); }

}  // namespace qvx::sim
