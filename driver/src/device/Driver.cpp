#include "device/Driver.h"

#include <cstdio>
#include <mutex>

#include "device/UnitBitmap.h"
#include "kernel/DebugPrint.h"

namespace qvx::driver {

std::string BannerText() {
  char text[128];
  std::snprintf(text, sizeof text, "Meridel driver %s %s %s loaded", kDriverFileVersion, __DATE__,
                __TIME__);
  return text;
}

void DriverEntry() {
  static std::once_flag loaded;
  std::call_once(loaded, [] {
    DriverUnits().Clear();
    DbgPrint("%s", BannerText().c_str());
  });
}

}  // namespace qvx::driver
