// The two roads to the device: PC/SC (codes 0x3120xx) everywhere, the
// direct device interface (codes 0x2220xx) on the Windows 9x family.
#pragma once

#include <cstdint>
#include <string>

#include "contract/ControlCodes.h"
#include "platform/DeviceIo.h"

namespace qvx::brixon {

// The device-interface class of the direct path's driver.
constexpr platform::GUID kDirectInterfaceClass{
    0x5C3A9E21, 0x7B04, 0x4D6F, {0xA8, 0x13, 0x2E, 0x90, 0xC4, 0x57, 0x1B, 0x6D}};

// The process's path flag: the platform version query, asked once.
bool UsesDirectPath();

std::uint32_t ControlCodeOf(contract::ControlIndex index, bool directPath);
// "0x312004/CheckDevice" with the code of the path.
std::string DisplayNameOf(contract::ControlIndex index, bool directPath);

}  // namespace qvx::brixon
