// One line of the control interface, parsed.
#pragma once

#include <optional>
#include <string>

#include "device/Card.h"
#include "device/Customer.h"
#include "device/DeviceTime.h"
#include "device/Injection.h"

namespace qvx::sim {

struct ControlCommand {
  enum class Kind {
    Insert,
    Remove,
    Card,
    Press,
    Customer,
    Timeout,
    Inject,  // also "malformed"
    Unplug,
    Plug,
    Display,
    Trace,
    TraceClear,
    Timing,
    TimingClear,
    State,
    Firmware,
    Help,
  };
  Kind kind = Kind::State;
  Card card;
  KeyPress key;
  CustomerScript customer;
  Millis timeout{0};
  Injection injection;
  std::string version;
};

struct ParsedControl {
  std::optional<ControlCommand> command;
  std::string error;  // the reason for "ERR reason" when command is empty
};

ParsedControl ParseControl(const std::string& line);

// The command list "help" answers with.
const char* ControlHelp();

// The longest time any control command accepts: one hour.
constexpr Millis kMaxControlMillis{3600000};

}  // namespace qvx::sim
