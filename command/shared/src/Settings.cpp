#include "command/Settings.h"

#include <array>

#include "platform/System.h"

namespace qvx {

std::string ExpandPath(const std::string& text) {
  constexpr platform::DWORD kExpandedPathSize = 260;
  std::array<char, kExpandedPathSize> expanded{};
  const platform::DWORD needed =
      ExpandEnvironmentStrings(text.c_str(), expanded.data(), kExpandedPathSize);
  if (needed == 0 || needed > kExpandedPathSize) return {};
  return expanded.data();
}

}  // namespace qvx
