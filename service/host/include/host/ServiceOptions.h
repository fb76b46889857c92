#pragma once

#include <string>

namespace qvx::host {

// What one start of brixwssvr is asked to do.
// MakeKey and RemoveKey are the Windows installer's steps (-makekey,
// -removekey), which the usage line leaves out: people install the package.
enum class ServiceAction { RunService, PrintVersion, Install, Uninstall, MakeKey, RemoveKey };

// argc and argv as main() receives them. Only a single argument can select
// an option; its first character (usually '-' or '/') is ignored.
ServiceAction ParseServiceOptions(int argc, const char* const* argv);

// "Version: 02.20 / Release: 18-AUG-2023"
std::string VersionText();

// "Usage: <argv0> [-version | -install | -uninstall]"
std::string UsageLine(const std::string& argv0);

// "Failed! [<message>]"
std::string FailureLine(const std::string& message);

}  // namespace qvx::host
