#include "json/JsonValue.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace qvx::json {
namespace {

void AppendAscii(WideString& out, std::string_view text) {
  for (const char c : text) {
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  }
}

// General format with 15 significant digits, as printf's %.15g in the C
// locale, but with an exponent of at least three digits (1e+020): the
// parameter texts the commands receive keep that established form.
std::string FormatNumber(double number) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 15);
  if (result.ec != std::errc()) {
    return "null";  // cannot happen for a finite double in 64 characters
  }
  std::string text(buffer, result.ptr);
  const std::size_t e = text.find('e');
  if (e != std::string::npos) {
    const std::size_t digits = e + 2;  // after the exponent's sign
    const std::size_t count = text.size() - digits;
    if (count < 3) {
      text.insert(digits, 3 - count, '0');
    }
  }
  return text;
}

void RenderStringTo(WideString& out, const WideString& string) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  for (const char16_t c : string) {
    switch (c) {
      case u'"':
        out += u"\\\"";
        break;
      case u'/':
        out += u"\\/";
        break;
      case u'\\':
        out += u"\\\\";
        break;
      case 8:
        out += u"\\b";
        break;
      case 9:
        out += u"\\t";
        break;
      case 10:
        out += u"\\n";
        break;
      case 12:
        out += u"\\f";
        break;
      case 13:
        out += u"\\r";
        break;
      default:
        if (c < 32) {
          out += u"\\u00";
          out.push_back(kHex[(c >> 4) & 0xF]);
          out.push_back(kHex[c & 0xF]);
        } else {
          out.push_back(c);
        }
        break;
    }
  }
}

// Recursion follows the tree's depth, which the parser bounds by
// kMaxNestingDepth.
void RenderTo(WideString& out, const CJsonValue& value) {
  switch (value.Type()) {
    case JsonNull:
      out += u"null";
      break;
    case JsonString:
      RenderStringTo(out, value.String());
      break;
    case JsonBool:
      out += value.Bool() ? u"true" : u"false";
      break;
    case JsonNumber:
      if (std::isfinite(value.Number())) {
        AppendAscii(out, FormatNumber(value.Number()));
      } else {
        out += u"null";
      }
      break;
    case JsonArray: {
      out.push_back(u'[');
      bool first = true;
      for (const auto& element : value.Elements()) {
        if (!first) out.push_back(u',');
        first = false;
        if (element) {
          RenderTo(out, *element);
        } else {
          out += u"null";  // an empty slot in a hand-built array
        }
      }
      out.push_back(u']');
      break;
    }
    case JsonObject: {
      out.push_back(u'{');
      bool first = true;
      for (const auto& [key, member] : value.Members()) {
        if (!first) out.push_back(u',');
        first = false;
        RenderStringTo(out, key);
        out.push_back(u':');
        if (member) {
          RenderTo(out, *member);
        } else {
          out += u"null";
        }
      }
      out.push_back(u'}');
      break;
    }
  }
}

}  // namespace

WideString RenderString(const WideString& string) {
  WideString out;
  out.reserve(string.size());
  RenderStringTo(out, string);
  return out;
}

WideString Render(const CJsonValue& value) {
  WideString out;
  RenderTo(out, value);
  return out;
}

}  // namespace qvx::json
