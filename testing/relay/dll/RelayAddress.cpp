#include "RelayAddress.h"

#include <windows.h>

#include <cstdlib>

namespace qvx::testing::relay {

namespace {

constexpr char kVariable[] = "QVX_SCARD_RELAY";
constexpr char kKey[] = "Software\\Quorvex2 Test";
constexpr char kValue[] = "SCardRelay";

std::optional<std::string> FromEnvironment() {
  char text[256];
  const DWORD length = GetEnvironmentVariableA(kVariable, text, sizeof(text));
  if (length == 0 || length >= sizeof(text)) return std::nullopt;
  return std::string(text, length);
}

std::optional<std::string> FromRegistry() {
  char text[256];
  DWORD size = sizeof(text);
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kKey, kValue, RRF_RT_REG_SZ, nullptr, text, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(text);
}

}  // namespace

std::optional<RelayAddress> ParseRelayAddress(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return std::nullopt;
  const std::string host = text.substr(0, colon);
  for (const char c : host) {
    if (c != '.' && (c < '0' || c > '9')) return std::nullopt;
  }
  unsigned long port = 0;
  for (std::size_t i = colon + 1; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9' || i - colon > 5) return std::nullopt;
    port = port * 10 + static_cast<unsigned long>(text[i] - '0');
  }
  if (port == 0 || port > 65535) return std::nullopt;
  return RelayAddress{host, static_cast<std::uint16_t>(port)};
}

std::optional<RelayAddress> ConfiguredRelayAddress() {
  std::optional<std::string> text = FromEnvironment();
  if (!text) text = FromRegistry();
  if (!text) return std::nullopt;
  return ParseRelayAddress(*text);
}

}  // namespace qvx::testing::relay
