#include "app/Options.h"

#include "control/ControlCommand.h"

namespace qvx::sim {
namespace {

ParsedCommandLine Err(std::string reason) {
  return ParsedCommandLine{std::nullopt, std::move(reason)};
}

// "approve", "approve:300", "cancel:50", "never": the control grammar with a colon.
std::optional<CustomerScript> ParseCustomerOption(std::string text) {
  for (char& c : text)
    if (c == ':') c = ' ';
  const ParsedControl parsed = ParseControl("customer " + text);
  if (!parsed.command) return std::nullopt;
  return parsed.command->customer;
}

std::optional<Millis> ParseTimeoutOption(const std::string& text) {
  const ParsedControl parsed = ParseControl("timeout " + text);
  if (!parsed.command) return std::nullopt;
  return parsed.command->timeout;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  if (!args.empty() && args[0] == "ctl") {
    if (args.size() < 3) return Err("usage: qvxsim ctl PATH COMMAND...");
    line.mode = CommandLine::Mode::Control;
    line.controlPath = args[1];
    for (std::size_t i = 2; i < args.size(); ++i) line.controlLine += (i > 2 ? " " : "") + args[i];
    return ParsedCommandLine{line, {}};
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--help" || arg == "-h") {
      line.mode = CommandLine::Mode::Help;
      return ParsedCommandLine{line, {}};
    } else if (arg == "--paced") {
      line.serve.paced = true;
    } else if (arg == "--no-card") {
      line.serve.firmware.cardInserted = false;
    } else if (arg == "--usb") {
      if (!line.usb) line.usb.emplace();
    } else if (arg == "--usb-unconfigured") {
      if (!line.usb) line.usb.emplace();
      line.usb->unconfigured = true;
    } else if (!hasValue) {
      return Err("unknown option or missing value: " + arg);
    } else if (arg == "--socket") {
      line.serve.socketPath = args[++i];
    } else if (arg == "--usb-serial" || arg == "--usb-interface-name") {
      // A string descriptor holds at most 126 characters; an empty one means none.
      const std::string& text = args[++i];
      if (text.size() > 126) return Err(arg + " takes at most 126 characters");
      for (const char c : text)
        if (c < 0x20 || c > 0x7E) return Err(arg + " takes printable ASCII");
      if (!line.usb) line.usb.emplace();
      (arg == "--usb-serial" ? line.usb->identity.serial : line.usb->identity.interfaceName) = text;
    } else if (arg == "--usb-devices") {
      const std::string& text = args[++i];
      if (text.size() != 1 || text[0] < '1' || text[0] > '8')
        return Err("--usb-devices takes 1 to 8");
      if (!line.usb) line.usb.emplace();
      line.usbDevices = text[0] - '0';
    } else if (arg == "--usb-testbed-link") {
      if (!line.usb) line.usb.emplace();
      line.usb->testbedLink = args[++i];
    } else if (arg == "--control") {
      line.serve.controlPath = args[++i];
    } else if (arg == "--firmware") {
      const ParsedControl parsed = ParseControl("firmware " + args[++i]);
      if (!parsed.command) return Err(parsed.error);
      line.serve.firmware.version = parsed.command->version;
    } else if (arg == "--customer-timeout") {
      const auto limit = ParseTimeoutOption(args[++i]);
      if (!limit) return Err("--customer-timeout takes 1 to 3600000 ms");
      line.serve.firmware.customerTimeout = *limit;
    } else if (arg == "--customer") {
      const auto script = ParseCustomerOption(args[++i]);
      if (!script) return Err("--customer takes approve[:MS], cancel[:MS] or never");
      line.serve.firmware.customer = *script;
    } else {
      return Err("unknown option: " + arg);
    }
  }
  if (line.usb && !line.serve.socketPath.empty())
    return Err("--socket and --usb exclude each other");
  if (!line.usb && line.serve.socketPath.empty()) return Err("--socket PATH or --usb is required");
  if (line.usbDevices > 1 && line.serve.controlPath.empty())
    return Err("--usb-devices needs --control: each device has its own control socket");
  return ParsedCommandLine{line, {}};
}

usb::UsbOptions NthUsbDevice(const usb::UsbOptions& first, int k) {
  usb::UsbOptions device = first;
  device.port = k;
  if (k > 1) device.testbedLink.clear();
  // The trailing digits counted on, keeping their width where they can.
  std::string& serial = device.identity.serial;
  std::size_t digits = serial.size();
  while (digits > 0 && serial[digits - 1] >= '0' && serial[digits - 1] <= '9') --digits;
  // Up to 18 digits fit the count.
  if (digits < serial.size() && serial.size() - digits <= 18 && k > 1) {
    const std::string number =
        std::to_string(std::stoull(serial.substr(digits)) + static_cast<unsigned long long>(k - 1));
    const std::size_t width = serial.size() - digits;
    serial = serial.substr(0, digits) +
             (number.size() < width ? std::string(width - number.size(), '0') : "") + number;
  } else if (k > 1 && !serial.empty()) {
    serial += "-" + std::to_string(k);
  }
  return device;
}

std::string NthControlPath(const std::string& first, int k) {
  return k == 1 ? first : first + "-" + std::to_string(k);
}

const char* Usage() {
  return "usage: qvxsim --socket PATH [--control PATH] [--paced] [--firmware VERSION]\n"
         "              [--customer approve[:MS]|cancel[:MS]|never] [--customer-timeout MS] "
         "[--no-card]\n"
         "       qvxsim --usb [--usb-serial TEXT] [--usb-interface-name TEXT] "
         "[--usb-unconfigured]\n"
         "              [--usb-testbed-link PATH] [--usb-devices N] [the options above but "
         "--socket]\n"
         "              (--usb-devices: N devices on one bus, device k on port k, its control\n"
         "              socket at the --control path with -k after it for k > 1)\n"
         "       qvxsim ctl CONTROL_PATH COMMAND...\n"
         "\n"
         "Simulates the Quorvex2 on a SOCK_SEQPACKET socket (8-byte packets, one driver at a "
         "time),\n"
         "or (--usb) as a USB device in a umockdev testbed for programs run under umockdev's "
         "preload.\n"
         "The control socket takes one command per line and answers OK or ERR:\n";
}

}  // namespace qvx::sim
