#pragma once

#include <cstdint>
#include <string>

namespace qvx::host {

constexpr const char* kServiceName = "brixwssvr";
constexpr const char* kServiceDisplayName = "Quorvex2 Connector Service";
constexpr const char* kUnitFileName = "brixwssvr.service";
constexpr const char* kDefaultUnitDir = "/etc/systemd/system";

// Error codes reported on install and removal; they keep the values the
// service's callers already know.
constexpr std::uint32_t kErrorAccessDenied = 0x00000005;
constexpr std::uint32_t kErrorPathNotFound = 0x00000003;
constexpr std::uint32_t kErrorGenFailure = 0x0000001F;
constexpr std::uint32_t kErrorServiceDoesNotExist = 0x00000424;
constexpr std::uint32_t kErrorServiceExists = 0x00000431;

struct UnitResult {
  bool ok = false;
  std::uint32_t code = 0;  // 0 on success
  std::string message;     // empty on success
};

// The unit file text for a service program at programPath.
std::string RenderSystemdUnit(const std::string& programPath);

// QVX_SYSTEMD_UNIT_DIR when set and not empty, else /etc/systemd/system.
std::string UnitDirectory();

// The full path of the running program (from /proc/self/exe).
UnitResult CurrentProgramPath(std::string& path);

// Writes <unitDir>/brixwssvr.service; an existing unit is never replaced.
// Does not enable or start the service.
UnitResult InstallUnit(const std::string& unitDir, const std::string& programPath);

// Deletes <unitDir>/brixwssvr.service. Does not stop the service.
UnitResult RemoveUnit(const std::string& unitDir);

}  // namespace qvx::host
