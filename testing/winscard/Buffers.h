// The caller's buffers as WinSCard fills them, for the test winscard.dll
// builds: a length query with no buffer, SCARD_AUTOALLOCATE (freed with
// SCardFreeMemory, so every block comes from malloc), or the caller's own
// of *length elements. Names cross as UTF-8 inside the DLLs.
#pragma once

#include <windows.h>
#include <winscard.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace qvx::testing::winscard {

template <typename Element>
LONG CopyOut(const std::basic_string<Element>& value, Element* buffer, LPDWORD length) {
  if (length == nullptr) return static_cast<LONG>(SCARD_E_INVALID_PARAMETER);
  const auto needed = static_cast<DWORD>(value.size());
  if (buffer == nullptr) {
    *length = needed;
    return SCARD_S_SUCCESS;
  }
  if (*length == SCARD_AUTOALLOCATE) {
    // One element more, so an empty value still gets a block of its own.
    auto* block = static_cast<Element*>(std::malloc((value.size() + 1) * sizeof(Element)));
    if (block == nullptr) return static_cast<LONG>(SCARD_E_NO_MEMORY);
    std::memcpy(block, value.data(), value.size() * sizeof(Element));
    *reinterpret_cast<Element**>(buffer) = block;
    *length = needed;
    return SCARD_S_SUCCESS;
  }
  if (*length < needed) {
    *length = needed;
    return static_cast<LONG>(SCARD_E_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, value.data(), value.size() * sizeof(Element));
  *length = needed;
  return SCARD_S_SUCCESS;
}

inline std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int count =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), count);
  return wide;
}

inline std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return {};
  const int count = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (count <= 1) return {};
  std::string narrow(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), count, nullptr, nullptr);
  narrow.pop_back();  // the terminator
  return narrow;
}

// A list of reader names as WinSCard hands it out: each name ending in a
// terminator, then one more, whatever terminators `names` came with (a single
// name with one, or none at all).
template <typename Bytes>
std::string MultiString(const Bytes& names) {
  std::string text(names.begin(), names.end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  text.append(2, '\0');
  return text;
}

}  // namespace qvx::testing::winscard
