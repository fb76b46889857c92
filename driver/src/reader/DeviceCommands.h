// One device command: the request goes out, the response comes back, and
// the response is held against the code the command requires.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/Bytes.h"
#include "kernel/NtStatus.h"
#include "transport/Transport.h"

namespace qvx::driver {

// Command bytes of the command header, with the response code each needs.
enum class DeviceCommand : std::uint8_t {
  Start = 0x01,            // parameter word; needs 1 with first data byte 1
  CheckDevice = 0x02,      // needs 5
  CheckCard = 0x03,        // needs 4
  ResponseBegin = 0x04,    // needs 2
  ResponseElement = 0x05,  // one element; needs 2
  ResponseEnd = 0x06,      // needs 3
  ModeBlock = 0x07,        // mode block; needs 3
  Display = 0x08,          // needs 2
};

std::uint8_t RequiredResponse(DeviceCommand command);

class CDeviceCommands {
 public:
  explicit CDeviceCommands(CTransport& transport) : m_transport(transport) {}

  // The exchange alone: STATUS_SUCCESS when the device answered (whatever
  // its code), else the transport's failure.
  NTSTATUS Exchange(DeviceCommand command, const std::uint8_t* data, std::size_t length,
                    Response& response);
  NTSTATUS Exchange(DeviceCommand command, ByteView data, Response& response) {
    return Exchange(command, data.data(), data.size(), response);
  }

  // The exchange and the response check.
  NTSTATUS Run(DeviceCommand command, const std::uint8_t* data, std::size_t length,
               Response& response);
  NTSTATUS Run(DeviceCommand command, ByteView data, Response& response) {
    return Run(command, data.data(), data.size(), response);
  }

 private:
  CTransport& m_transport;
};

}  // namespace qvx::driver
