// The control commands, applied to the device and the cable.
#include "host/Simulator.h"

namespace qvx::sim {
namespace {

const char* YesNo(bool value) { return value ? "yes" : "no"; }

}  // namespace

std::string Simulator::Control(const std::string& line) {
  const ParsedControl parsed = ParseControl(line);
  if (!parsed.command) return "ERR " + parsed.error;
  const SteadyTime now = std::chrono::steady_clock::now();
  firmware_.Advance(DeviceClock(now));
  const std::string reply = Apply(*parsed.command, now);
  Report("control: " + line + " -> " + reply);
  return reply;
}

std::string Simulator::Apply(const ControlCommand& command, SteadyTime now) {
  const DeviceTime deviceNow = DeviceClock(now);
  using Kind = ControlCommand::Kind;
  switch (command.kind) {
    case Kind::Insert:
      return firmware_.InsertCard(deviceNow) ? "OK" : "OK already inserted";
    case Kind::Remove:
      return firmware_.RemoveCard(deviceNow) ? "OK" : "OK no card";
    case Kind::Card:
      firmware_.ChangeCard(command.card, deviceNow);
      return "OK";
    case Kind::Press:
      return firmware_.Press(command.key, deviceNow) ? "OK" : "OK ignored";
    case Kind::Customer:
      firmware_.SetCustomer(command.customer, deviceNow);
      return "OK";
    case Kind::Timeout:
      firmware_.SetCustomerTimeout(command.timeout);
      return "OK";
    case Kind::Inject:
      firmware_.Arm(command.injection);
      return "OK";
    case Kind::Unplug:
      cable_->Unplug();
      firmware_.Disconnect(deviceNow);
      return "OK";
    case Kind::Plug:
      cable_->Plug();
      return "OK";
    case Kind::Display: {
      const std::string text = firmware_.display().Joined();
      return text.empty() ? "OK" : "OK " + text;
    }
    case Kind::Trace: {
      const std::string text = trace_.Text();
      return text.empty() ? "OK" : "OK " + text;
    }
    case Kind::TraceClear:
      trace_.Clear();
      return "OK";
    case Kind::State:
      return "OK " + StateText();
    case Kind::Firmware:
      firmware_.SetVersion(command.version);
      return "OK";
    case Kind::Help:
      return std::string("OK ") + ControlHelp();
  }
  return "ERR unhandled command";
}

std::string Simulator::StateText() const {
  std::string text;
  text += "card=" + std::string(firmware_.CardInserted() ? "inserted" : "none");
  text += " powered=" + std::string(YesNo(firmware_.CardPowered()));
  text += " busy=" + std::string(YesNo(firmware_.Busy()));
  text += " waiting=" + std::string(YesNo(firmware_.WaitingForCustomer()));
  text += " connected=" + std::string(YesNo(cable_->Connected()));
  text += " plugged=" + std::string(YesNo(cable_->Plugged()));
  const CustomerScript& customer = firmware_.Customer();
  text += " customer=" + std::string(customer.kind == CustomerScript::Kind::Approve  ? "approve"
                                     : customer.kind == CustomerScript::Kind::Cancel ? "cancel"
                                                                                     : "never");
  if (customer.kind != CustomerScript::Kind::Never) text += ":" + std::to_string(customer.delay.count());
  text += " timeout=" + std::to_string(firmware_.CustomerTimeout().count());
  text += " firmware=" + firmware_.Version();
  text += " language=" + std::string(LanguageName(firmware_.CurrentLanguage()));
  const auto& armed = firmware_.Armed();
  text += " inject=" + (armed ? Describe(*armed) : std::string("none"));
  // Describe() of an injection may contain a blank; keep one token per key.
  for (std::size_t i = text.rfind("inject=") + 7; i < text.size(); ++i)
    if (text[i] == ' ') text[i] = ':';
  return text;
}

}  // namespace qvx::sim
