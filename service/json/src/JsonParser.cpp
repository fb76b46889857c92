#include "JsonParser.h"

#include <cmath>
#include <new>
#include <utility>

namespace qvx::json {
namespace {

bool IsWhiteSpace(char16_t c) noexcept { return c == 9 || c == 10 || c == 13 || c == 32; }

bool IsDigit(char16_t c) noexcept { return c >= u'0' && c <= u'9'; }

char16_t AsciiLower(char16_t c) noexcept {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

int HexDigit(char16_t c) noexcept {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

}  // namespace

std::unique_ptr<CJsonValue> ParseJson(std::string_view text) noexcept {
  // Everything after a zero byte is ignored.
  const std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) {
    text = text.substr(0, zero);
  }
  // Running out of memory on a huge message fails the parse like any other
  // failure instead of escaping into the caller's worker thread.
  try {
    const WideString wide = Widen(text);
    return CJsonParser(wide).ParseDocument();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::unique_ptr<CJsonValue> CJsonParser::ParseDocument() {
  SkipWhiteSpace();
  if (AtEnd()) {
    return nullptr;
  }
  auto value = ParseValue(0);
  if (!value) {
    return nullptr;
  }
  SkipWhiteSpace();
  return AtEnd() ? std::move(value) : nullptr;
}

void CJsonParser::SkipWhiteSpace() noexcept {
  while (!AtEnd() && IsWhiteSpace(Current())) {
    ++m_pos;
  }
}

// Literals are accepted in any ASCII letter case; what follows them is left
// to the caller's separator or end-of-text check.
bool CJsonParser::MatchLiteral(std::u16string_view word) noexcept {
  if (m_text.size() - m_pos < word.size()) {
    return false;
  }
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (AsciiLower(m_text[m_pos + i]) != word[i]) {
      return false;
    }
  }
  m_pos += word.size();
  return true;
}

std::unique_ptr<CJsonValue> CJsonParser::ParseValue(std::size_t depth) {
  if (AtEnd()) {
    return nullptr;
  }
  const char16_t c = Current();
  if (c == u'"') {
    ++m_pos;
    WideString string;
    if (!ParseStringBody(string)) {
      return nullptr;
    }
    return std::make_unique<CJsonValue>(std::move(string));
  }
  if (MatchLiteral(u"true")) return std::make_unique<CJsonValue>(true);
  if (MatchLiteral(u"false")) return std::make_unique<CJsonValue>(false);
  if (MatchLiteral(u"null")) return std::make_unique<CJsonValue>();
  if (c == u'-' || IsDigit(c)) return ParseNumber();
  if (c == u'[' || c == u'{') {
    if (depth >= kMaxNestingDepth) {
      return nullptr;
    }
    return c == u'[' ? ParseArray(depth + 1) : ParseObject(depth + 1);
  }
  return nullptr;
}

bool CJsonParser::ReadDigits(double& value) {
  if (AtEnd() || !IsDigit(Current())) {
    return false;
  }
  while (!AtEnd() && IsDigit(Current())) {
    value = value * 10.0 + static_cast<double>(Current() - u'0');
    ++m_pos;
  }
  return true;
}

std::unique_ptr<CJsonValue> CJsonParser::ParseNumber() {
  const bool negative = Current() == u'-';
  if (negative) {
    ++m_pos;
  }
  double value = 0.0;
  if (AtEnd()) {
    return nullptr;
  }
  if (Current() == u'0') {
    ++m_pos;  // digits after a leading 0 are not part of the number
  } else if (!ReadDigits(value)) {
    return nullptr;
  }
  if (!AtEnd() && Current() == u'.') {
    ++m_pos;
    if (AtEnd() || !IsDigit(Current())) {
      return nullptr;
    }
    double f = 0.1;
    while (!AtEnd() && IsDigit(Current())) {
      value += static_cast<double>(Current() - u'0') * f;
      f *= 0.1;
      ++m_pos;
    }
  }
  if (!AtEnd() && (Current() == u'e' || Current() == u'E')) {
    ++m_pos;
    bool negativeExponent = false;
    if (!AtEnd() && (Current() == u'+' || Current() == u'-')) {
      negativeExponent = Current() == u'-';
      ++m_pos;
    }
    double exponent = 0.0;
    if (!ReadDigits(exponent)) {
      return nullptr;
    }
    // One step of ten per unit of exponent, but stop once the value is 0 or
    // infinite: further steps cannot change it, and an exponent such as
    // 1e999999999999 would otherwise spin for ages (or forever once the
    // exponent itself is infinite).
    for (double n = 0.0; n < exponent && value != 0.0 && std::isfinite(value); n += 1.0) {
      value = negativeExponent ? value / 10.0 : value * 10.0;
    }
  }
  if (negative) {
    value *= -1.0;
  }
  return std::make_unique<CJsonValue>(value);
}

bool CJsonParser::ParseStringBody(WideString& out) {
  while (!AtEnd()) {
    const char16_t c = Current();
    if (c == u'\\') {
      ++m_pos;
      if (AtEnd()) {
        return false;
      }
      switch (Current()) {
        case u'"':
          out.push_back(u'"');
          break;
        case u'/':
          out.push_back(u'/');
          break;
        case u'\\':
          out.push_back(u'\\');
          break;
        case u'b':
          out.push_back(8);
          break;
        case u'f':
          out.push_back(12);
          break;
        case u'n':
          out.push_back(10);
          break;
        case u'r':
          out.push_back(13);
          break;
        case u't':
          out.push_back(9);
          break;
        case u'u': {
          if (m_text.size() - m_pos < 5) {
            return false;
          }
          // One 16-bit unit per escape; surrogate pairs are not joined.
          unsigned unit = 0;
          for (std::size_t i = 1; i <= 4; ++i) {
            const int digit = HexDigit(m_text[m_pos + i]);
            if (digit < 0) {
              return false;
            }
            unit = unit * 16u + static_cast<unsigned>(digit);
          }
          out.push_back(static_cast<char16_t>(unit));
          m_pos += 4;
          break;
        }
        default:
          return false;
      }
      ++m_pos;
    } else if (c == u'"') {
      ++m_pos;
      return true;
    } else if (c < 32 && c != 9) {
      return false;  // raw control characters other than tab
    } else {
      out.push_back(c);
      ++m_pos;
    }
  }
  return false;  // no closing quote
}

std::unique_ptr<CJsonValue> CJsonParser::ParseArray(std::size_t depth) {
  CJsonValue::Array elements;
  for (;;) {
    ++m_pos;  // past '[' or ','
    SkipWhiteSpace();
    if (AtEnd()) {
      return nullptr;
    }
    if (elements.empty() && Current() == u']') {
      ++m_pos;
      break;
    }
    auto element = ParseValue(depth);
    if (!element) {
      return nullptr;
    }
    elements.push_back(std::move(element));
    SkipWhiteSpace();
    if (AtEnd()) {
      return nullptr;
    }
    if (Current() == u']') {
      ++m_pos;
      break;
    }
    if (Current() != u',') {
      return nullptr;
    }
  }
  return std::make_unique<CJsonValue>(std::move(elements));
}

std::unique_ptr<CJsonValue> CJsonParser::ParseObject(std::size_t depth) {
  CJsonValue::Object members;
  for (;;) {
    ++m_pos;  // past '{' or ','
    SkipWhiteSpace();
    if (AtEnd()) {
      return nullptr;
    }
    if (members.empty() && Current() == u'}') {
      ++m_pos;
      break;
    }
    if (Current() != u'"') {
      return nullptr;
    }
    ++m_pos;
    WideString key;
    if (!ParseStringBody(key)) {
      return nullptr;
    }
    SkipWhiteSpace();
    if (AtEnd() || Current() != u':') {
      return nullptr;
    }
    ++m_pos;
    SkipWhiteSpace();
    if (AtEnd()) {
      return nullptr;
    }
    auto value = ParseValue(depth);
    if (!value) {
      return nullptr;
    }
    members.insert_or_assign(std::move(key), std::move(value));  // the later member wins
    SkipWhiteSpace();
    if (AtEnd()) {
      return nullptr;
    }
    if (Current() == u'}') {
      ++m_pos;
      break;
    }
    if (Current() != u',') {
      return nullptr;
    }
  }
  return std::make_unique<CJsonValue>(std::move(members));
}

}  // namespace qvx::json
