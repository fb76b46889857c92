// Where both revisions keep their settings, and how the paths there read.
#pragma once

#include <string>

namespace qvx {

// Under HKEY_LOCAL_MACHINE (the service's log directory, the plug-in's) and
// HKEY_CURRENT_USER (the plug-in's last log clean-up).
constexpr const char* kRegistryKeyPath = "Software\\MERIDEL\\Quorvex2\\BRIXON";

// The text with its environment references expanded, as it fits the
// 260-character buffer paths are read into; empty when the expansion fails
// or would need more.
std::string ExpandPath(const std::string& text);

}  // namespace qvx
