#include "transport/LowerEdgeFactory.h"
#include "transport/SocketLowerEdge.h"
#include "transport/UsbLowerEdge.h"

namespace qvx::driver {

std::unique_ptr<ILowerEdge> OpenLowerEdge(const std::string& deviceName) {
  static const std::string kSimulator = "sim:";
  static const std::string kUsb = "usb:";
  if (deviceName.compare(0, kSimulator.size(), kSimulator) == 0) {
    return SocketLowerEdge::Connect(deviceName.substr(kSimulator.size()));
  }
  if (deviceName.compare(0, kUsb.size(), kUsb) == 0) {
    return OpenUsbLowerEdge(deviceName);
  }
  return nullptr;
}

}  // namespace qvx::driver
