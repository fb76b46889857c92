// APDUs to the card. The reader does not pass APDUs through: it answers
// class 0x80 instruction 0x12 itself, two of them with device exchanges.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/NtStatus.h"
#include "reader/ApduTable.h"
#include "reader/DeviceCommands.h"

namespace qvx::driver {

// *reply is the answer data followed by the status word. Fails only when
// an exchange fails other than by a missing card or a device event.
NTSTATUS Transmit(CDeviceCommands& commands, const std::uint8_t* apdu, std::size_t size,
                  Answer* reply);

}  // namespace qvx::driver
