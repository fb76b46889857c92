// IdnToAscii over libidn2.
#include <idn2.h>

#include <cstdlib>
#include <string>

#include "platform/com/Idn.h"

namespace platform {
namespace {

// Strict UTF-16 to UTF-8: a lone surrogate or a NUL inside the name fails.
bool ToUtf8(LPCOLESTR text, std::size_t count, std::string* out) {
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = text[i];
    if (c == 0) {
      return false;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (char32_t{text[++i]} - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x80) {
      *out += static_cast<char>(c);
    } else if (c < 0x800) {
      *out += static_cast<char>(0xC0 | (c >> 6));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out += static_cast<char>(0xE0 | (c >> 12));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (c >> 18));
      *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return true;
}

// STD3 host name rules on the converted name: labels of letters, digits
// and inner hyphens. Checked here on the result because libidn2 (2.3.3)
// under IDN2_USE_STD3_ASCII_RULES silently drops a disallowed character
// instead of refusing the name, which would turn "\u00FC.brix_bank.example"
// into a name below "brixbank.example".
bool FollowsStd3Rules(const std::string& name) {
  std::size_t labelStart = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    const char c = i < name.size() ? name[i] : '.';
    if (c == '.') {
      const std::size_t length = i - labelStart;
      const bool last = i == name.size();  // "example." ends in an empty root label
      if ((length == 0 && !last) ||
          (length > 0 && (name[labelStart] == '-' || name[i - 1] == '-'))) {
        return false;
      }
      labelStart = i + 1;
    } else if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-')) {
      return false;
    }
  }
  return true;
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

int IdnToAscii(DWORD flags, LPCOLESTR unicode, int length, LPOLESTR ascii, int size) {
  if (unicode == nullptr || length == 0 || length < -1 || size < 0 ||
      (size > 0 && ascii == nullptr) ||
      (flags & ~(IDN_ALLOW_UNASSIGNED | IDN_USE_STD3_ASCII_RULES)) != 0) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  std::size_t count = 0;
  bool terminated = false;
  if (length == -1) {
    while (unicode[count] != 0) {
      ++count;
    }
    terminated = true;
  } else {
    count = static_cast<std::size_t>(length);
    if (unicode[count - 1] == 0) {  // an explicit length may take in the terminator
      --count;
      terminated = true;
    }
  }
  std::string utf8;
  if (count == 0 || !ToUtf8(unicode, count, &utf8)) {
    return Fail(ERROR_INVALID_NAME);
  }
  char* converted = nullptr;
  const int rc = idn2_to_ascii_8z(utf8.c_str(), &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  if (rc != IDN2_OK) {
    idn2_free(converted);
    return Fail(rc == IDN2_MALLOC ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_NAME);
  }
  std::string result(converted);
  idn2_free(converted);
  if ((flags & IDN_USE_STD3_ASCII_RULES) != 0 && !FollowsStd3Rules(result)) {
    return Fail(ERROR_INVALID_NAME);
  }
  if (terminated) {
    result += '\0';
  }
  const int needed = static_cast<int>(result.size());
  if (size == 0) {
    return needed;
  }
  if (needed > size) {
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  for (std::size_t i = 0; i < result.size(); ++i) {
    ascii[i] = static_cast<OLECHAR>(static_cast<unsigned char>(result[i]));
  }
  return needed;
}

}  // namespace platform
