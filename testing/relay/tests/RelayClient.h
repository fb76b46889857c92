// The Linux end of a relay connection, for tests: what winscard.dll sends,
// without Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "wire/Wire.h"

namespace qvx::testing::relay {

class CRelayClient {
 public:
  // Connects to 127.0.0.1:port; Connected() says whether it did.
  explicit CRelayClient(std::uint16_t port);
  ~CRelayClient();
  CRelayClient(const CRelayClient&) = delete;
  CRelayClient& operator=(const CRelayClient&) = delete;

  bool Connected() const { return m_fd >= 0; }
  // Sends raw bytes (for malformed frames).
  bool SendRaw(const wire::Bytes& data);
  // Whether the relay has closed the connection (waits up to 10 s).
  bool ClosedByPeer();

  // One request; the reply body, or nothing when the connection failed.
  std::optional<wire::Bytes> Call(const wire::Writer& request);

  // The calls the tests make. Each answers the PC/SC result and fills its
  // out fields; kNoReply when the connection failed.
  static constexpr std::uint32_t kNoReply = 0xFFFFFFFFu;
  std::uint32_t EstablishContext();
  std::uint32_t ListReaders(std::string* names);
  std::uint32_t Connect(const std::string& reader, std::uint32_t share);
  std::uint32_t Control(std::uint32_t code, const wire::Bytes& in, wire::Bytes* out);
  std::uint32_t Status(std::string* names);
  std::uint32_t Disconnect();
  std::uint32_t ReleaseContext();
  std::uint32_t SetCancelEvent(const std::string& reader);

 private:
  int m_fd = -1;
  std::uint64_t m_context = 0;
  std::uint64_t m_card = 0;
};

}  // namespace qvx::testing::relay
