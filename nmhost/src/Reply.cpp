// The host's replies as JSON text.
#include <cstdio>
#include <string>

#include "nmhost/Session.h"

namespace qvx::nmhost {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte >= 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04X", byte);
          out += escape;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

namespace {

std::string Reply(const std::string& id, const char* key, const std::string& text) {
  std::string json = "{";
  if (!id.empty()) json += "\"id\":" + id + ",";
  json += std::string("\"") + key + "\":" + JsonString(text) + "}";
  return json;
}

}  // namespace

std::string ResultReply(const std::string& id, const std::string& result) {
  return Reply(id, "Result", result);
}

std::string ErrorReply(const std::string& id, const std::string& why) {
  return Reply(id, "Error", why);
}

}  // namespace qvx::nmhost
