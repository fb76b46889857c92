// The ANSI conversions of script-facing members over the system's code page
// calls. No best-fit mapping: a character the code page lacks becomes '?',
// as on Linux; so does a surrogate pair, once (the system's call makes one
// default character of each half).
#include <limits>
#include <string>

#include "platform/com/Bstr.h"

namespace platform {
namespace {

bool IsHighSurrogate(OLECHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(OLECHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Whether the ANSI code page has the character of a surrogate pair.
bool AnsiHasPair(const OLECHAR* pair) {
  if (GetACP() == CP_UTF8) {
    return true;  // and the call refuses a used-default flag for it
  }
  char bytes[8];
  BOOL usedDefault = FALSE;
  const int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, pair, 2, bytes,
                                          sizeof bytes, nullptr, &usedDefault);
  return written > 0 && !usedDefault;
}

// `text` with each pair the code page lacks as a single '?'.
std::wstring OneCharacterPerMissingPair(const OLECHAR* text, UINT length) {
  std::wstring out;
  out.reserve(length);
  for (UINT i = 0; i < length; ++i) {
    if (i + 1 < length && IsHighSurrogate(text[i]) && IsLowSurrogate(text[i + 1]) &&
        !AnsiHasPair(text + i)) {
      out += L'?';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string BstrToAnsi(BSTR text) {
  std::string out;
  const UINT length = SysStringLen(text);
  UINT end = 0;
  while (end < length && text[end] != 0) {
    ++end;
  }
  if (end == 0 || end > static_cast<UINT>(std::numeric_limits<int>::max())) {
    return out;
  }
  const std::wstring wide = OneCharacterPerMissingPair(text, end);
  const int wideLength = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength,
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    return out;
  }
  out.resize(static_cast<std::size_t>(size));
  const int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength,
                                          out.data(), size, nullptr, nullptr);
  out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return out;
}

BSTR AnsiToBstr(const std::string& text) {
  if (text.size() > 0xFFFFFFF0u / 2) {
    return nullptr;
  }
  const int narrowLength = static_cast<int>(text.size());
  const int size =
      text.empty() ? 0 : MultiByteToWideChar(CP_ACP, 0, text.data(), narrowLength, nullptr, 0);
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(size > 0 ? size : 0));
  if (out != nullptr && size > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), narrowLength, out, size);
  }
  return out;
}

}  // namespace platform
