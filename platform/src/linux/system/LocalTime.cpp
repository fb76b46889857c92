#include <ctime>

#include "platform/System.h"

namespace platform {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

}  // namespace platform
