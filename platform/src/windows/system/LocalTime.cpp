#include <ctime>

#include "platform/System.h"

namespace platform {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_s(&local, &when);
  return local;
}

}  // namespace platform
