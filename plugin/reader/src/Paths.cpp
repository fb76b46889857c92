#include "brixon/Paths.h"

#include <cstdio>

namespace qvx::brixon {

bool UsesDirectPath() {
  static const bool direct = [] {
    platform::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
  }();
  return direct;
}

std::uint32_t ControlCodeOf(contract::ControlIndex index, bool directPath) {
  const contract::ControlCodeRow& row = contract::ControlCode(index);
  return directPath ? row.directCode : row.pcscCode;
}

std::string DisplayNameOf(contract::ControlIndex index, bool directPath) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%X", static_cast<unsigned>(ControlCodeOf(index, directPath)));
  return std::string(code) + "/" + contract::ControlCode(index).name;
}

}  // namespace qvx::brixon
