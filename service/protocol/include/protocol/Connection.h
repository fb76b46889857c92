// IConnection: what the command workers need of a client connection. The
// network endpoint implements it; workers address it through a weak handle,
// so a connection that is already gone is simply skipped.
#pragma once

#include <cstdint>
#include <string>

namespace qvx::protocol {

// Close code for a request that cannot be understood.
constexpr std::uint16_t kCloseInvalidPayload = 1007;

class IConnection {
 public:
  virtual ~IConnection() = default;
  // Both may be called from any worker thread; failures are not reported
  // back, since a reply to a vanished page has nowhere to go.
  virtual void SendText(std::string text) = 0;
  virtual void Close(std::uint16_t code, std::string reason) = 0;
};

}  // namespace qvx::protocol
