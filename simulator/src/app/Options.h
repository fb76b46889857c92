// The command line of qvxsim.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/Simulator.h"
#include "usb/UsbOptions.h"

namespace qvx::sim {

struct CommandLine {
  enum class Mode { Serve, Control, Help };
  Mode mode = Mode::Serve;
  SimulatorOptions serve;
  // Serve as an emulated USB device instead of on a socket.
  std::optional<usb::UsbOptions> usb;
  // How many devices hang on the one emulated bus (--usb-devices).
  int usbDevices = 1;
  // Control mode: qvxsim ctl PATH COMMAND...
  std::string controlPath;
  std::string controlLine;
};

struct ParsedCommandLine {
  std::optional<CommandLine> commandLine;
  std::string error;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// Device `k` (1 for the first) of --usb-devices: on port k, with the first
// one's serial number counted on by k - 1, its testbed link only on the
// first, and its control socket at the first one's path with "-k" after it.
usb::UsbOptions NthUsbDevice(const usb::UsbOptions& first, int k);
std::string NthControlPath(const std::string& first, int k);
const char* Usage();

}  // namespace qvx::sim
