// The ANSI conversions of script-facing members over the system's code page
// calls. No best-fit mapping: a character the code page lacks becomes '?',
// as on Linux.
#include <limits>

#include "platform/com/Bstr.h"

namespace platform {

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
  const int wideLength = static_cast<int>(end);
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, wideLength, nullptr, 0,
                                       nullptr, nullptr);
  if (size <= 0) {
    return out;
  }
  out.resize(static_cast<std::size_t>(size));
  const int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, wideLength,
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
