#include "json/JsonValue.h"

namespace qvx::json {

WideString Widen(std::string_view bytes) {
  WideString text;
  text.reserve(bytes.size());
  for (const char byte : bytes) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
  }
  return text;
}

std::string Narrow(const WideString& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(static_cast<unsigned char>(unit & 0xFFu)));
  }
  return bytes;
}

}  // namespace qvx::json
