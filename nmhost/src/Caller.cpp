#include "nmhost/Caller.h"

namespace qvx::nmhost {

std::string CallerOf(const std::vector<std::string>& args) {
  if (args.empty()) return "";
  if (args[0].rfind("chrome-extension://", 0) == 0 || args.size() < 2) return args[0];
  return args[1];
}

}  // namespace qvx::nmhost
