#include "endpoint/Origin.h"

namespace qvx::endpoint {

UrlParts SplitUrl(std::string_view text) {
  UrlParts parts;
  std::string_view rest = text;
  const std::size_t separator = text.find_first_of(":/");
  if (separator != std::string_view::npos) {
    parts.scheme = std::string(text.substr(0, separator));
    // The separator is taken to be "://" unchecked; an origin cut short
    // after it (such as "https:") has nothing left to name a host.
    const std::size_t restStart = separator + 3;
    rest = restStart <= text.size() ? text.substr(restStart) : std::string_view();
  }
  const std::size_t colon = rest.find(':');
  if (colon != std::string_view::npos) {
    parts.port = std::string(rest.substr(colon + 1));
    parts.host = std::string(rest.substr(0, colon));
  } else {
    parts.host = std::string(rest);
  }
  return parts;
}

bool MatchOrigin(std::string_view originScheme, std::string_view originHost,
                 std::string_view pattern) {
  const UrlParts wanted = SplitUrl(pattern);
  if (!wanted.scheme.empty() && wanted.scheme != originScheme) return false;

  const std::string_view wantedHost = wanted.host;
  if (!wantedHost.empty() && wantedHost.front() == '*') {
    const std::string_view suffix = wantedHost.substr(1);
    const std::size_t at = originHost.find(suffix);
    if (at == std::string_view::npos) return false;
    // Only the first occurrence counts, so "x.d.d" is not taken for "*.d".
    return originHost.substr(at) == suffix;
  }
  return originHost == wantedHost;
}

bool IsAllowedOrigin(std::string_view origin) {
  const UrlParts parts = SplitUrl(origin);
  for (const char* pattern : kAllowedOrigins) {
    if (MatchOrigin(parts.scheme, parts.host, pattern)) return true;
  }
  return false;
}

bool IsLocalPeer(std::string_view peerAddress) {
  const std::size_t colon = peerAddress.rfind(':');
  const std::string_view last =
      colon == std::string_view::npos ? peerAddress : peerAddress.substr(colon + 1);
  return last == kLocalPeerAddress;
}

}  // namespace qvx::endpoint
