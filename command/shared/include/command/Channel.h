// The one-call device exchange the commands run over. The service reaches
// the device through CReader; another host may bring its own channel.
#pragma once

#include "command/Checks.h"
#include "contract/ControlCodes.h"

namespace qvx {

class IDeviceChannel {
 public:
  virtual ~IDeviceChannel() = default;
  // Sends one vendor request and returns the device's answer (0 to 255
  // bytes); raises the host's failure type when the device or the channel
  // reports an error.
  virtual Bytes Execute(contract::ControlIndex index, const Bytes& request) = 0;
};

}  // namespace qvx
