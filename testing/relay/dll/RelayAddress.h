// Where the relay listens, as the DLL finds it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qvx::testing::relay {

struct RelayAddress {
  std::string host;  // dotted IPv4
  std::uint16_t port = 0;
};

// "HOST:PORT" with an IPv4 host and a port from 1 to 65535; nothing
// otherwise.
std::optional<RelayAddress> ParseRelayAddress(const std::string& text);

// QVX_SCARD_RELAY from the environment, else the REG_SZ value SCardRelay of
// HKEY_LOCAL_MACHINE\Software\Quorvex2 Test (services started by Wine's
// service manager do not get the launcher's environment). Nothing when
// neither is set or the text does not parse.
std::optional<RelayAddress> ConfiguredRelayAddress();

}  // namespace qvx::testing::relay
