// The fixed ANSI code page (Windows-1252) and UTF-8, to and from UTF-16.
#include <string>
#include <vector>

#include "platform/com/Bstr.h"

namespace platform {
namespace {

// 0x80..0x9F of Windows-1252; the five undefined bytes map to the C1
// control of the same value, as Windows does.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromAnsi(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t{byte};
}

// The byte for a code point, or -1 when 1252 has none.
int ToAnsi(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    return static_cast<int>(c);
  }
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == c) {
      return 0x80 + i;
    }
  }
  return -1;
}

bool ValidCodePage(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_THREAD_ACP || codePage == kAnsiCodePage ||
         codePage == CP_UTF8;
}

// One code point from UTF-16 at `i` (advancing it); a lone surrogate reads
// as U+FFFD.
char32_t NextCodePoint(const OLECHAR* wide, std::size_t count, std::size_t& i) {
  const char32_t first = wide[i++];
  if (first >= 0xD800 && first <= 0xDBFF && i < count && wide[i] >= 0xDC00 && wide[i] <= 0xDFFF) {
    const char32_t second = wide[i++];
    return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
  }
  return first >= 0xD800 && first <= 0xDFFF ? 0xFFFD : first;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-8 to UTF-16; malformed sequences become U+FFFD one byte at a time.
void DecodeUtf8(const unsigned char* in, std::size_t count, std::u16string& out) {
  std::size_t i = 0;
  while (i < count) {
    const unsigned char lead = in[i];
    int extra = 0;
    char32_t c = lead;
    char32_t minimum = 0;
    if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0x80) {
      extra = -1;
    }
    bool ok = extra >= 0;
    for (int k = 1; ok && k <= extra; ++k) {
      if (i + static_cast<std::size_t>(k) >= count || (in[i + k] & 0xC0) != 0x80) {
        ok = false;
      } else {
        c = c << 6 | (in[i + k] & 0x3F);
      }
    }
    if (ok && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) {
      ok = false;
    }
    if (!ok) {
      out += char16_t{0xFFFD};
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
}

template <typename Char>
std::size_t LengthOf(const Char* text, int length) {
  if (length >= 0) {
    return static_cast<std::size_t>(length);
  }
  std::size_t n = 0;
  while (text[n] != 0) {
    ++n;
  }
  return n + 1;  // the terminator is converted too
}

// Copies a result into the caller's buffer with the Win32 rules.
template <typename Char, typename String>
int Deliver(const String& result, Char* out, int size) {
  if (result.size() > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int needed = static_cast<int>(result.size());
  if (size == 0) {
    return needed;
  }
  if (needed > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (std::size_t i = 0; i < result.size(); ++i) {
    out[i] = static_cast<Char>(result[i]);
  }
  return needed;
}

}  // namespace

UINT GetACP() { return kAnsiCodePage; }

int WideCharToMultiByte(UINT codePage, DWORD flags, const OLECHAR* wide, int wideLength,
                        char* narrow, int size, const char* defaultChar, BOOL* usedDefault) {
  if (!ValidCodePage(codePage) || flags != 0 || wide == nullptr || wideLength == 0 ||
      wideLength < -1 || size < 0 || (size > 0 && narrow == nullptr) ||
      (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefault != nullptr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::size_t count = LengthOf(wide, wideLength);
  const char replacement = defaultChar != nullptr ? *defaultChar : '?';
  bool replaced = false;
  std::string result;
  for (std::size_t i = 0; i < count;) {
    const char32_t c = NextCodePoint(wide, count, i);
    if (codePage == CP_UTF8) {
      AppendUtf8(result, c);
      continue;
    }
    const int byte = ToAnsi(c);
    if (byte < 0) {
      replaced = true;
      result += replacement;
    } else {
      result += static_cast<char>(byte);
    }
  }
  if (usedDefault != nullptr) {
    *usedDefault = replaced ? 1 : 0;
  }
  return Deliver(result, narrow, size);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* narrow, int narrowLength,
                        OLECHAR* wide, int size) {
  if (!ValidCodePage(codePage) || flags != 0 || narrow == nullptr || narrowLength == 0 ||
      narrowLength < -1 || size < 0 || (size > 0 && wide == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::size_t count = LengthOf(narrow, narrowLength);
  const auto* bytes = reinterpret_cast<const unsigned char*>(narrow);
  std::u16string result;
  if (codePage == CP_UTF8) {
    DecodeUtf8(bytes, count, result);
  } else {
    result.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      result += FromAnsi(bytes[i]);
    }
  }
  return Deliver(result, wide, size);
}

std::string BstrToAnsi(BSTR text) {
  std::string out;
  if (text == nullptr) {
    return out;
  }
  const UINT length = SysStringLen(text);
  std::size_t end = 0;
  while (end < length && text[end] != 0) {
    ++end;
  }
  for (std::size_t i = 0; i < end;) {
    const int byte = ToAnsi(NextCodePoint(text, end, i));
    out += byte < 0 ? '?' : static_cast<char>(byte);
  }
  return out;
}

BSTR AnsiToBstr(const std::string& text) {
  if (text.size() > 0xFFFFFFF0u) {
    return nullptr;
  }
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
  if (out == nullptr) {
    return nullptr;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = FromAnsi(static_cast<unsigned char>(text[i]));
  }
  return out;
}

}  // namespace platform
