#include "transport/SocketLowerEdge.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace qvxrdr {

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
    : socket_(socket), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!wake_.Valid()) {
    throw std::bad_alloc();
  }
  thread_ = std::thread([this] { Run(); });
}

SocketLowerEdge::~SocketLowerEdge() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stop_ = true;
  }
  Wake();
  thread_.join();
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
    std::lock_guard<std::mutex> guard(mutex_);
    if (aborted_ || stop_) {
      return STATUS_INVALID_DEVICE_STATE;
    }
    if (gone_) {
      result = STATUS_DEVICE_REMOVED;
    } else if (pendingOut_.empty()) {
      // Sent on the caller's thread when nothing waits before it: a hop to
      // the event thread per packet would cost more than the send itself.
      // Under the lock, so the event thread cannot overtake it.
      const ssize_t sent =
          ::send(socket_.Get(), packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (sent == static_cast<ssize_t>(packet.size())) {
        result = STATUS_SUCCESS;
      }
    }
    if (result == STATUS_PENDING) {
      // Full or failing socket: the event thread sends it or reports the failure.
      pendingOut_.emplace_back(packet, std::move(completion));
    }
  }
  if (result == STATUS_PENDING) {
    Wake();
  } else {
    completion(result);
  }
  return STATUS_SUCCESS;
}

NTSTATUS SocketLowerEdge::SubmitIn(InCompletion completion) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (aborted_ || stop_ || gone_) {
      return gone_ ? STATUS_DEVICE_REMOVED : STATUS_INVALID_DEVICE_STATE;
    }
    if (pendingIn_) {
      return STATUS_INVALID_DEVICE_STATE;
    }
    pendingIn_ = std::move(completion);
    cancelIn_ = false;
  }
  Wake();
  return STATUS_SUCCESS;
}

void SocketLowerEdge::CancelIn() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!pendingIn_) {
      return;
    }
    cancelIn_ = true;
  }
  Wake();
}

void SocketLowerEdge::AbortPipes() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    aborted_ = true;
  }
  Wake();
}

void SocketLowerEdge::Wake() {
  const std::uint64_t one = 1;
  // A full counter still leaves the eventfd readable, so a failed write is harmless.
  [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof(one));
}

void SocketLowerEdge::CompleteIn(NTSTATUS status, const Packet& packet) {
  InCompletion completion;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    completion = std::move(pendingIn_);
    pendingIn_ = nullptr;
    cancelIn_ = false;
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
    std::lock_guard<std::mutex> guard(mutex_);
    outs.swap(pendingOut_);
  }
  for (OutTransfer& transfer : outs) {
    transfer.second(status);
  }
  CompleteIn(status, Packet{});
}

void SocketLowerEdge::ReceiveIn() {
  Packet packet{};
  const ssize_t received = ::recv(socket_.Get(), packet.data(), packet.size(), MSG_DONTWAIT | MSG_TRUNC);
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
    std::lock_guard<std::mutex> guard(mutex_);
    gone_ = true;
  }
  FailAll(STATUS_DEVICE_REMOVED);
}

void SocketLowerEdge::SendOut() {
  Packet packet{};
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (pendingOut_.empty()) {
      return;
    }
    packet = pendingOut_.front().first;
  }
  const ssize_t sent = ::send(socket_.Get(), packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    return;  // the device is not taking packets; the writer waits in its rounds
  }
  if (sent == static_cast<ssize_t>(packet.size())) {
    OutCompletion completion;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      completion = std::move(pendingOut_.front().second);
      pendingOut_.pop_front();
    }
    completion(STATUS_SUCCESS);
    return;
  }
  {
    std::lock_guard<std::mutex> guard(mutex_);
    gone_ = true;
  }
  FailAll(STATUS_DEVICE_REMOVED);
}

void SocketLowerEdge::Run() {
  for (;;) {
    short socketEvents = 0;
    bool cancel = false;
    bool fail = false;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (stop_) {
        break;
      }
      cancel = cancelIn_ && pendingIn_;
      fail = aborted_ && (pendingIn_ || !pendingOut_.empty());
      if (!gone_ && !aborted_) {
        if (pendingIn_ && !cancelIn_) {
          socketEvents = static_cast<short>(socketEvents | POLLIN);
        }
        if (!pendingOut_.empty()) {
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

    pollfd fds[2] = {{wake_.Get(), POLLIN, 0}, {socketEvents != 0 ? socket_.Get() : -1, socketEvents, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t drained = ::read(wake_.Get(), &count, sizeof(count));
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

}  // namespace qvxrdr
