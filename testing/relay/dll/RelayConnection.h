// One TCP connection to the relay, that is one Linux process serving one
// context.
#pragma once

#include <winsock2.h>

#include <optional>

#include "RelayAddress.h"
#include "wire/Wire.h"

namespace qvx::testing::relay {

class CRelayConnection {
 public:
  CRelayConnection() = default;
  ~CRelayConnection();
  CRelayConnection(const CRelayConnection&) = delete;
  CRelayConnection& operator=(const CRelayConnection&) = delete;

  // Connects to the configured relay; false when there is none or it does
  // not accept.
  bool Open();
  bool Open(const RelayAddress& address);
  // Closing ends the serving process, and with it its PC/SC context.
  void Close();

  // Sends one request and waits for its reply body. Nothing when the
  // connection fails or the reply is malformed; the connection is then
  // closed for good.
  std::optional<wire::Bytes> Call(const wire::Writer& request);

 private:
  bool SendAll(const wire::Bytes& data);
  bool ReadExactly(void* buffer, std::size_t count);

  SOCKET m_socket = INVALID_SOCKET;
};

}  // namespace qvx::testing::relay
