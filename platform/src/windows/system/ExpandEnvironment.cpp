// ExpandEnvironment over ExpandEnvironmentStrings, sized by its first answer.
#include <string>

#include "platform/System.h"

namespace platform {

std::string ExpandEnvironment(const std::string& source) {
  std::string expanded(source.size() + 1, '\0');
  for (;;) {
    const DWORD needed = ::ExpandEnvironmentStringsA(source.c_str(), expanded.data(),
                                                     static_cast<DWORD>(expanded.size()));
    if (needed == 0) return source;
    if (needed <= expanded.size()) {
      expanded.resize(needed - 1);
      return expanded;
    }
    expanded.resize(needed);
  }
}

}  // namespace platform
