#include "transport/SocketLowerEdge.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace qvx::driver {

std::unique_ptr<SocketLowerEdge> SocketLowerEdge::Connect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) {
    return nullptr;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!fd.Valid() ||
      ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    return nullptr;
  }
  return std::make_unique<SocketLowerEdge>(fd.Release());
}

SocketLowerEdge::SocketLowerEdge(int socket)
    : m_socket(socket), m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!m_wake.Valid()) {
    throw std::bad_alloc();
  }
  m_thread = std::thread([this] { Run(); });
}

SocketLowerEdge::~SocketLowerEdge() {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_stop = true;
  }
  Wake();
  m_thread.join();
}

NTSTATUS SocketLowerEdge::ReadDescriptors(UsbDescriptors& descriptors) {
  descriptors.vendorId = kTestVendorId;
  descriptors.productId = kTestProductId;
  descriptors.bcdDevice = 0x0100;
  descriptors.endpoints = {{0x81, 8}, {0x02, 8}};
  return STATUS_SUCCESS;
}

NTSTATUS SocketLowerEdge::SubmitOut(const Packet& packet, OutCompletion completion) {
  NTSTATUS result = STATUS_PENDING;
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_aborted || m_stop) {
      return STATUS_INVALID_DEVICE_STATE;
    }
    if (m_gone) {
      result = STATUS_DEVICE_REMOVED;
    } else if (m_pendingOut.empty()) {
      // Sent on the caller's thread when nothing waits before it: a hop to
      // the event thread per packet would cost more than the send itself.
      // Under the lock, so the event thread cannot overtake it.
      const ssize_t sent =
          ::send(m_socket.Get(), packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (sent == static_cast<ssize_t>(packet.size())) {
        result = STATUS_SUCCESS;
      }
    }
    if (result == STATUS_PENDING) {
      // Full or failing socket: the event thread sends it or reports the failure.
      m_pendingOut.emplace_back(packet, std::move(completion));
    }
  }
  if (result == STATUS_PENDING) {
    Wake();
    return STATUS_SUCCESS;
  }
  completion(result);  // NOLINT(bugprone-use-after-move): moved only when pending
  return STATUS_SUCCESS;
}

NTSTATUS SocketLowerEdge::SubmitIn(InCompletion completion) {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_aborted || m_stop || m_gone) {
      return m_gone ? STATUS_DEVICE_REMOVED : STATUS_INVALID_DEVICE_STATE;
    }
    if (m_pendingIn) {
      return STATUS_INVALID_DEVICE_STATE;
    }
    m_pendingIn = std::move(completion);
    m_cancelIn = false;
  }
  Wake();
  return STATUS_SUCCESS;
}

void SocketLowerEdge::CancelIn() {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_pendingIn) {
      return;
    }
    m_cancelIn = true;
  }
  Wake();
}

void SocketLowerEdge::AbortPipes() {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_aborted = true;
  }
  Wake();
}

void SocketLowerEdge::Wake() {
  const std::uint64_t one = 1;
  // A full counter still leaves the eventfd readable, so a failed write is harmless.
  [[maybe_unused]] const ssize_t written = ::write(m_wake.Get(), &one, sizeof(one));
}

void SocketLowerEdge::CompleteIn(NTSTATUS status, const Packet& packet) {
  InCompletion completion;
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    completion = std::move(m_pendingIn);
    m_pendingIn = nullptr;
    m_cancelIn = false;
  }
  if (completion) {
    completion(status, packet);
  }
}

// Everything outstanding ends with status; used when the pipes are aborted,
// the edge shuts down or the peer is gone.
void SocketLowerEdge::FailAll(NTSTATUS status) {
  std::deque<OutTransfer> outs;
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    outs.swap(m_pendingOut);
  }
  for (OutTransfer& transfer : outs) {
    transfer.second(status);
  }
  CompleteIn(status, Packet{});
}

void SocketLowerEdge::ReceiveIn() {
  Packet packet{};
  const ssize_t received =
      ::recv(m_socket.Get(), packet.data(), packet.size(), MSG_DONTWAIT | MSG_TRUNC);
  if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    return;
  }
  if (received == static_cast<ssize_t>(packet.size())) {
    CompleteIn(STATUS_SUCCESS, packet);
    return;
  }
  if (received > 0) {
    // Not one packet: the transfer fails, the connection stays.
    CompleteIn(STATUS_UNSUCCESSFUL, Packet{});
    return;
  }
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_gone = true;
  }
  FailAll(STATUS_DEVICE_REMOVED);
}

void SocketLowerEdge::SendOut() {
  Packet packet{};
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_pendingOut.empty()) {
      return;
    }
    packet = m_pendingOut.front().first;
  }
  const ssize_t sent =
      ::send(m_socket.Get(), packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    return;  // the device is not taking packets; the writer waits in its rounds
  }
  if (sent == static_cast<ssize_t>(packet.size())) {
    OutCompletion completion;
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      completion = std::move(m_pendingOut.front().second);
      m_pendingOut.pop_front();
    }
    completion(STATUS_SUCCESS);
    return;
  }
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_gone = true;
  }
  FailAll(STATUS_DEVICE_REMOVED);
}

void SocketLowerEdge::Run() {
  for (;;) {
    short socketEvents = 0;
    bool cancel = false;
    bool fail = false;
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      if (m_stop) {
        break;
      }
      cancel = m_cancelIn && m_pendingIn;
      fail = m_aborted && (m_pendingIn || !m_pendingOut.empty());
      if (!m_gone && !m_aborted) {
        if (m_pendingIn && !m_cancelIn) {
          socketEvents = static_cast<short>(socketEvents | POLLIN);
        }
        if (!m_pendingOut.empty()) {
          socketEvents = static_cast<short>(socketEvents | POLLOUT);
        }
      }
    }
    if (fail) {
      FailAll(STATUS_CANCELLED);
      continue;
    }
    if (cancel) {
      CompleteIn(STATUS_CANCELLED, Packet{});
      continue;
    }

    pollfd fds[2] = {{m_wake.Get(), POLLIN, 0},
                     {socketEvents != 0 ? m_socket.Get() : -1, socketEvents, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t drained = ::read(m_wake.Get(), &count, sizeof(count));
    }
    // Packets already queued are delivered before a hang-up is noticed.
    if ((fds[1].revents & (POLLOUT | POLLERR | POLLHUP)) != 0 && (socketEvents & POLLOUT) != 0) {
      SendOut();
    }
    if ((fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0 && (socketEvents & POLLIN) != 0) {
      ReceiveIn();
    }
  }
  FailAll(STATUS_CANCELLED);
}

}  // namespace qvx::driver
