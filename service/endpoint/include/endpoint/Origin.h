// The handshake admission rules of the endpoint: only the loopback peer and
// pages of the bank's own https sites may open a WebSocket.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace qvx::endpoint {

// The bank's two internet domains, tried in this order.
constexpr std::array<const char*, 2> kAllowedOrigins = {
    "https://*.brixbank.example",
    "https://*.brixonline.example",
};

constexpr const char* kLocalPeerAddress = "127.0.0.1";

struct UrlParts {
  std::string scheme;
  std::string host;  // a path after the host stays part of it
  std::string port;
};

// Splits "scheme://host:port" without validating it. The first colon or
// slash ends the scheme and the three characters from it are skipped as the
// separator; a text too short for that leaves host and port empty.
UrlParts SplitUrl(std::string_view text);

// Schemes compare exactly when the pattern has one; a pattern host "*.d"
// matches a host whose first occurrence of ".d" ends it; ports never count.
bool MatchOrigin(std::string_view originScheme, std::string_view originHost,
                 std::string_view pattern);

// True when the origin text matches one of kAllowedOrigins.
bool IsAllowedOrigin(std::string_view origin);

// The peer is the remote address only (no port): its part after the last
// colon must be the loopback address, so the IPv4-mapped form passes too.
bool IsLocalPeer(std::string_view peerAddress);

}  // namespace qvx::endpoint
