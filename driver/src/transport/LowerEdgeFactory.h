// Opening the lower edge pcscd's device name names (Linux).
//
// Offers: OpenLowerEdge — "sim:PATH" connects to the simulator's
// SOCK_SEQPACKET socket at PATH, "usb:..." opens the USB device (pcscd's
// DEVICENAME); anything else, or a device that cannot be opened, gives
// nullptr.
#pragma once

#include <memory>
#include <string>

#include "transport/LowerEdge.h"

namespace qvx::driver {

std::unique_ptr<ILowerEdge> OpenLowerEdge(const std::string& deviceName);

}  // namespace qvx::driver
