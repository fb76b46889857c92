#include "RelayClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "Ports.h"
#include "wire/SocketIo.h"
#include "wire/Stream.h"

namespace qvx::testing::relay {

namespace {

wire::Writer Request(wire::Op op) {
  wire::Writer request;
  request.U8(static_cast<std::uint8_t>(op));
  return request;
}

}  // namespace

CRelayClient::CRelayClient(std::uint16_t port) : m_fd(ConnectLoopback(port)) {}

CRelayClient::~CRelayClient() {
  if (m_fd >= 0) ::close(m_fd);
}

bool CRelayClient::SendRaw(const wire::Bytes& data) { return wire::SendAll(m_fd, data); }

bool CRelayClient::ClosedByPeer() {
  pollfd watched{m_fd, POLLIN, 0};
  if (::poll(&watched, 1, 10000) != 1) return false;
  char byte = 0;
  return ::recv(m_fd, &byte, 1, 0) == 0;
}

std::optional<wire::Bytes> CRelayClient::Call(const wire::Writer& request) {
  if (m_fd < 0 || !SendRaw(request.Frame())) return std::nullopt;
  return wire::ReadFrame(
      [this](void* buffer, std::size_t count) { return wire::ReadExactly(m_fd, buffer, count); });
}

std::uint32_t CRelayClient::EstablishContext() {
  const auto reply = Call(Request(wire::Op::EstablishContext).U32(0));
  if (!reply) return kNoReply;
  wire::Reader fields(*reply);
  const std::uint32_t result = fields.U32();
  m_context = fields.U64();
  return fields.Done() ? result : kNoReply;
}

std::uint32_t CRelayClient::ListReaders(std::string* names) {
  const auto reply = Call(Request(wire::Op::ListReaders).U64(m_context));
  if (!reply) return kNoReply;
  wire::Reader fields(*reply);
  const std::uint32_t result = fields.U32();
  *names = fields.Text();
  return fields.Done() ? result : kNoReply;
}

std::uint32_t CRelayClient::Connect(const std::string& reader, std::uint32_t share) {
  const auto reply = Call(Request(wire::Op::Connect).U64(m_context).Text(reader).U32(share).U32(0));
  if (!reply) return kNoReply;
  wire::Reader fields(*reply);
  const std::uint32_t result = fields.U32();
  m_card = fields.U64();
  fields.U32();
  return fields.Done() ? result : kNoReply;
}

std::uint32_t CRelayClient::Control(std::uint32_t code, const wire::Bytes& in, wire::Bytes* out) {
  const auto reply = Call(Request(wire::Op::Control).U64(m_card).U32(code).Blob(in).U32(1024));
  if (!reply) return kNoReply;
  wire::Reader fields(*reply);
  const std::uint32_t result = fields.U32();
  *out = fields.Blob();
  return fields.Done() ? result : kNoReply;
}

std::uint32_t CRelayClient::Status(std::string* names) {
  const auto reply = Call(Request(wire::Op::Status).U64(m_card));
  if (!reply) return kNoReply;
  wire::Reader fields(*reply);
  const std::uint32_t result = fields.U32();
  *names = fields.Text();
  fields.U32();
  fields.U32();
  fields.Blob();
  return fields.Done() ? result : kNoReply;
}

std::uint32_t CRelayClient::Disconnect() {
  const auto reply = Call(Request(wire::Op::Disconnect).U64(m_card).U32(0));
  return reply ? wire::Reader(*reply).U32() : kNoReply;
}

std::uint32_t CRelayClient::ReleaseContext() {
  const auto reply = Call(Request(wire::Op::ReleaseContext).U64(m_context));
  return reply ? wire::Reader(*reply).U32() : kNoReply;
}

std::uint32_t CRelayClient::SetCancelEvent(const std::string& reader) {
  const auto reply = Call(Request(wire::Op::SetCancelEvent).Text(reader));
  return reply ? wire::Reader(*reply).U32() : kNoReply;
}

}  // namespace qvx::testing::relay
