// Automation strings: a 4-byte byte count, the UTF-16 text, a terminator.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com/Bstr.h"

namespace platform {
namespace {

constexpr std::size_t kPrefixBytes = sizeof(std::uint32_t);

std::uint32_t* PrefixOf(BSTR text) {
  return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - kPrefixBytes);
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  // The byte count has to fit the prefix, with room for the terminator.
  if (length > (std::numeric_limits<std::uint32_t>::max() - kPrefixBytes) / 2 - 1) {
    return nullptr;
  }
  const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
  void* block = std::malloc(kPrefixBytes + bytes + sizeof(OLECHAR));
  if (block == nullptr) {
    return nullptr;
  }
  *static_cast<std::uint32_t*>(block) = static_cast<std::uint32_t>(bytes);
  auto* chars = reinterpret_cast<OLECHAR*>(static_cast<char*>(block) + kPrefixBytes);
  if (text != nullptr) {
    std::memcpy(chars, text, bytes);
  } else {
    std::memset(chars, 0, bytes);
  }
  chars[length] = 0;
  return chars;
}

BSTR SysAllocString(LPCOLESTR text) {
  if (text == nullptr) {
    return nullptr;
  }
  UINT length = 0;
  while (text[length] != 0) {
    ++length;
  }
  return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
  if (text != nullptr) {
    std::free(PrefixOf(text));
  }
}

UINT SysStringByteLen(BSTR text) { return text != nullptr ? *PrefixOf(text) : 0; }

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / UINT{sizeof(OLECHAR)}; }

}  // namespace platform
