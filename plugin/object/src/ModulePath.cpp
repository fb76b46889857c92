#include "ModulePath.h"

#include <limits.h>

#include "platform/Module.h"

namespace qvx::brixon {
namespace {

const char kInsideThisModule = 0;

}  // namespace

std::string ModulePath() {
  platform::HMODULE module = nullptr;
  if (!platform::GetModuleHandleFromAddress(&kInsideThisModule, &module)) return {};
  char path[PATH_MAX];
  const auto length = GetModuleFileName(module, path, sizeof path);
  // A full buffer means a truncated path.
  return length != 0 && length < sizeof path ? std::string(path, length) : std::string();
}

}  // namespace qvx::brixon
