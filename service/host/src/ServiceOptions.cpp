#include "host/ServiceOptions.h"

#include <cstring>

namespace qvx::host {

namespace {
constexpr const char* kVersion = "02.20";
constexpr const char* kRelease = "18-AUG-2023";
}  // namespace

ServiceAction ParseServiceOptions(int argc, const char* const* argv) {
  if (argc != 2 || argv == nullptr || argv[1] == nullptr) return ServiceAction::RunService;
  const char* arg = argv[1];
  // An empty argument has nothing after its first character: no option.
  if (arg[0] == '\0') return ServiceAction::RunService;
  const char* word = arg + 1;
  if (std::strcmp(word, "version") == 0) return ServiceAction::PrintVersion;
  if (std::strcmp(word, "install") == 0) return ServiceAction::Install;
  if (std::strcmp(word, "uninstall") == 0) return ServiceAction::Uninstall;
  if (std::strcmp(word, "makekey") == 0) return ServiceAction::MakeKey;
  if (std::strcmp(word, "removekey") == 0) return ServiceAction::RemoveKey;
  return ServiceAction::RunService;
}

std::string VersionText() {
  return std::string("Version: ") + kVersion + " / Release: " + kRelease;
}

std::string UsageLine(const std::string& argv0) {
  return "Usage: " + argv0 + " [-version | -install | -uninstall]";
}

std::string FailureLine(const std::string& message) { return "Failed! [" + message + "]"; }

}  // namespace qvx::host
