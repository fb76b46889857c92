#include "host/EndpointSettings.h"

#include <cstdlib>
#include <sstream>

namespace qvx::host {

namespace {

bool ParsePorts(const std::string& text, std::vector<std::uint16_t>& ports) {
  std::istringstream items(text);
  std::vector<std::uint16_t> parsed;
  for (std::string item; std::getline(items, item, ',');) {
    if (item.empty() || item.size() > 5 ||
        item.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    const unsigned long port = std::stoul(item);
    if (port == 0 || port > 65535) return false;
    parsed.push_back(static_cast<std::uint16_t>(port));
  }
  if (parsed.empty()) return false;
  ports = std::move(parsed);
  return true;
}

}  // namespace

endpoint::WssSettings SettingsFromEnvironment(std::string& warning) {
  endpoint::WssSettings settings;
  warning.clear();
  if (const char* ports = std::getenv("QVX_WSS_PORTS"); ports != nullptr && ports[0] != '\0') {
    if (!ParsePorts(ports, settings.ports)) {
      warning = std::string("QVX_WSS_PORTS is not a list of ports: \"") + ports + "\"";
    }
  }
  if (const char* pemDir = std::getenv("QVX_WSS_PEM_DIR"); pemDir != nullptr && pemDir[0] != '\0') {
    settings.pemDirectory = pemDir;
  } else if (const char* credentials = std::getenv("CREDENTIALS_DIRECTORY");
             credentials != nullptr && credentials[0] != '\0') {
    // Installed: the key file is root's, and systemd hands the service its
    // copy among the unit's credentials.
    settings.pemDirectory = credentials;
  }
  return settings;
}

}  // namespace qvx::host
