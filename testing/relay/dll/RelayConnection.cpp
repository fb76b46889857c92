#include "RelayConnection.h"

#include <ws2tcpip.h>

#include <mutex>

#include "wire/Stream.h"

namespace qvx::testing::relay {

namespace {

// Once a process; never cleaned up, as threads of the DLL may still use
// sockets while the process ends.
bool StartWinsock() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

}  // namespace

CRelayConnection::~CRelayConnection() { Close(); }

bool CRelayConnection::Open() {
  const std::optional<RelayAddress> address = ConfiguredRelayAddress();
  return address && Open(*address);
}

bool CRelayConnection::Open(const RelayAddress& address) {
  Close();
  if (!StartWinsock()) return false;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(address.port);
  if (inet_pton(AF_INET, address.host.c_str(), &peer.sin_addr) != 1) return false;
  m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (m_socket == INVALID_SOCKET) return false;
  // Requests are small and answered one at a time: send each at once.
  const BOOL noDelay = TRUE;
  setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
             sizeof(noDelay));
  if (connect(m_socket, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) != 0) {
    Close();
    return false;
  }
  return true;
}

void CRelayConnection::Close() {
  if (m_socket == INVALID_SOCKET) return;
  closesocket(m_socket);
  m_socket = INVALID_SOCKET;
}

std::optional<wire::Bytes> CRelayConnection::Call(const wire::Writer& request) {
  if (m_socket == INVALID_SOCKET) return std::nullopt;
  if (!SendAll(request.Frame())) {
    Close();
    return std::nullopt;
  }
  std::optional<wire::Bytes> reply = wire::ReadFrame(
      [this](void* buffer, std::size_t count) { return ReadExactly(buffer, count); });
  if (!reply || reply->size() < 4) {
    Close();
    return std::nullopt;
  }
  return reply;
}

bool CRelayConnection::SendAll(const wire::Bytes& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const int put = send(m_socket, reinterpret_cast<const char*>(data.data() + sent),
                         static_cast<int>(data.size() - sent), 0);
    if (put <= 0) return false;
    sent += static_cast<std::size_t>(put);
  }
  return true;
}

bool CRelayConnection::ReadExactly(void* buffer, std::size_t count) {
  auto* bytes = static_cast<char*>(buffer);
  while (count > 0) {
    const int got = recv(m_socket, bytes, static_cast<int>(count), 0);
    if (got <= 0) return false;
    bytes += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace qvx::testing::relay
