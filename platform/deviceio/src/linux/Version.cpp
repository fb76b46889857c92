// GetVersionExA: the NT family with the kernel's numbers, unless a test
// asks for another family.
#include <sys/utsname.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/DeviceIo.h"

namespace platform {

namespace {
std::atomic<long> gOverride{-1};
}  // namespace

void OverridePlatformIdForTesting(long platformId) { gOverride = platformId; }

bool GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  unsigned major = 0, minor = 0, build = 0;
  utsname names{};
  if (::uname(&names) == 0) {
    std::sscanf(names.release, "%u.%u.%u", &major, &minor, &build);
  }
  info->dwMajorVersion = major;
  info->dwMinorVersion = minor;
  info->dwBuildNumber = build;
  const long forced = gOverride.load();
  info->dwPlatformId = forced >= 0 ? static_cast<DWORD>(forced) : VER_PLATFORM_WIN32_NT;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  return true;
}

}  // namespace platform
