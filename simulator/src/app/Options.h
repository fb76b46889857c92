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
  // Control mode: qvxsim ctl PATH COMMAND...
  std::string controlPath;
  std::string controlLine;
};

struct ParsedCommandLine {
  std::optional<CommandLine> commandLine;
  std::string error;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);
const char* Usage();

}  // namespace qvx::sim
