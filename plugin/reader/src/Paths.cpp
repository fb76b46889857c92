#include "brixon/Paths.h"

#include <cstdio>

#include "platform/DirectShareLock.h"

namespace qvx::brixon {

bool UsesDirectPath() {
  static const bool direct = [] {
    platform::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return platform::GetVersionExA(&info) &&
           info.dwPlatformId == platform::VER_PLATFORM_WIN32_WINDOWS;
  }();
  return direct;
}

std::uint32_t ControlCodeOf(ControlIndex index, bool directPath) {
  const ControlCodeRow& row = ControlCode(index);
  return directPath ? row.directCode : row.pcscCode;
}

std::string DisplayNameOf(ControlIndex index, bool directPath) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%X", static_cast<unsigned>(ControlCodeOf(index, directPath)));
  return std::string(code) + "/" + ControlCode(index).name;
}

std::string ReaderCancelEventName(const std::string& readerName) {
  return platform::ReaderCancelEventName(readerName);
}

}  // namespace qvx::brixon
