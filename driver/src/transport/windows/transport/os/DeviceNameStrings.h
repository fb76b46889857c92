// The strings a USB device names itself with, on Windows: none are kept.
// The reader's name there is the unit's ("Meridel Quorvex2_Reader 0").
#pragma once

namespace qvx::driver {

struct DeviceNameStrings {};

}  // namespace qvx::driver
