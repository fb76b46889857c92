// STD3 host name rules on a host before and after its conversion to ASCII.
#include "HostRules.h"

namespace qvx::brixon {
namespace {

bool IsLetterOrDigit(OLECHAR c) {
  return (c >= OLESTR('a') && c <= OLESTR('z')) || (c >= OLESTR('A') && c <= OLESTR('Z')) ||
         (c >= OLESTR('0') && c <= OLESTR('9'));
}

bool IsDot(OLECHAR c, bool beforeConversion) {
  return c == OLESTR('.') || (beforeConversion && (c == 0x3002 || c == 0xFF0E || c == 0xFF61));
}

}  // namespace

bool FollowsStd3Rules(const OLECHAR* name, std::size_t length, bool beforeConversion) {
  std::size_t labelStart = 0;
  for (std::size_t i = 0; i <= length; ++i) {
    if (i == length || IsDot(name[i], beforeConversion)) {
      const std::size_t labelLength = i - labelStart;
      const bool root = i == length && labelLength == 0 && length > 0;
      if ((labelLength == 0 && !root) ||
          (labelLength > 0 && (name[labelStart] == OLESTR('-') || name[i - 1] == OLESTR('-')))) {
        return false;
      }
      labelStart = i + 1;
    } else if (!IsLetterOrDigit(name[i]) && name[i] != OLESTR('-') &&
               !(beforeConversion && name[i] >= 0x80)) {
      return false;
    }
  }
  return true;
}

}  // namespace qvx::brixon
