// The files behind the service control layer: the systemd unit of a service
// and the state file its running process keeps.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/Service.h"

namespace platform {
namespace detail {

struct UnitDescription {
  std::string displayName;
  std::string binaryPath;
  DWORD startType = SERVICE_DEMAND_START;
  std::string account;  // empty: root
  std::string serviceName;
};

std::string RenderUnit(const UnitDescription& unit);
std::string UnitFilePath(const std::string& serviceName);

// A credential name systemd takes: letters, digits, '.', '_' and '-'.
bool IsCredentialName(const std::string& name);
// The unit text with "LoadCredential=name:path" in its [Service] section.
std::string WithCredential(const std::string& unitText, const std::string& name,
                           const std::string& path);
bool ReadWholeFile(const std::string& path, std::string& text);

// True when systemd is the running init and the unit directory is its own,
// so units are enabled and stopped through systemctl.
bool SystemdManagesUnits();

// Runs systemctl with the arguments and waits; true on exit status 0.
bool RunSystemctl(const std::vector<std::string>& arguments);

// The last status a service wrote, and the process that wrote it.
struct StateRecord {
  pid_t pid = 0;
  SERVICE_STATUS status{};
};

// False when there is no readable state file.
bool ReadState(const std::string& serviceName, StateRecord& record);
// Replaces the state file in one step; raises PlatformError.
void WriteState(const std::string& serviceName, const SERVICE_STATUS& status);

// The process is there and not a zombie.
bool ProcessAlive(pid_t pid);

}  // namespace detail
}  // namespace platform
