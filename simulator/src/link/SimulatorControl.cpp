// The control commands, applied to the device and the cable.
#include "link/Simulator.h"

namespace qvx::sim {
namespace {

const char* YesNo(bool value) { return value ? "yes" : "no"; }

}  // namespace

std::string Simulator::Control(const std::string& line) {
  const ParsedControl parsed = ParseControl(line);
  if (!parsed.command) return "ERR " + parsed.error;
  const SteadyTime now = std::chrono::steady_clock::now();
  m_firmware.Advance(DeviceClock(now));
  const std::string reply = Apply(*parsed.command, now);
  Report("control: " + line + " -> " + reply);
  return reply;
}

std::string Simulator::Apply(const ControlCommand& command, SteadyTime now) {
  const DeviceTime deviceNow = DeviceClock(now);
  using Kind = ControlCommand::Kind;
  switch (command.kind) {
    case Kind::Insert:
      return m_firmware.InsertCard(deviceNow) ? "OK" : "OK already inserted";
    case Kind::Remove:
      return m_firmware.RemoveCard(deviceNow) ? "OK" : "OK no card";
    case Kind::Card:
      m_firmware.ChangeCard(command.card, deviceNow);
      return "OK";
    case Kind::Press:
      return m_firmware.Press(command.key, deviceNow) ? "OK" : "OK ignored";
    case Kind::Customer:
      m_firmware.SetCustomer(command.customer, deviceNow);
      return "OK";
    case Kind::Timeout:
      m_firmware.SetCustomerTimeout(command.timeout);
      return "OK";
    case Kind::Inject:
      m_firmware.Arm(command.injection);
      return "OK";
    case Kind::Unplug:
      m_cable->Unplug();
      m_firmware.Disconnect(deviceNow);
      return "OK";
    case Kind::Plug:
      m_cable->Plug();
      return "OK";
    case Kind::Display: {
      const std::string text = m_firmware.display().Joined();
      return text.empty() ? "OK" : "OK " + text;
    }
    case Kind::Trace: {
      const std::string text = m_trace.Text();
      return text.empty() ? "OK" : "OK " + text;
    }
    case Kind::TraceClear:
      m_trace.Clear();
      return "OK";
    case Kind::Timing: {
      const std::string text = m_cable->Timing();
      return text.empty() ? "ERR this cable keeps no timing" : "OK " + text;
    }
    case Kind::TimingClear:
      m_cable->ClearTiming();
      return "OK";
    case Kind::State:
      return "OK " + StateText();
    case Kind::Firmware:
      m_firmware.SetVersion(command.version);
      return "OK";
    case Kind::Help:
      return std::string("OK ") + ControlHelp();
  }
  return "ERR unhandled command";
}

std::string Simulator::StateText() const {
  std::string text;
  text += "card=" + std::string(m_firmware.CardInserted() ? "inserted" : "none");
  text += " powered=" + std::string(YesNo(m_firmware.CardPowered()));
  text += " busy=" + std::string(YesNo(m_firmware.Busy()));
  text += " waiting=" + std::string(YesNo(m_firmware.WaitingForCustomer()));
  text += " connected=" + std::string(YesNo(m_cable->Connected()));
  text += " plugged=" + std::string(YesNo(m_cable->Plugged()));
  text += " clients=" + std::to_string(m_cable->OpenClients());
  const CustomerScript& customer = m_firmware.Customer();
  text += " customer=" + std::string(customer.kind == CustomerScript::Kind::Approve  ? "approve"
                                     : customer.kind == CustomerScript::Kind::Cancel ? "cancel"
                                                                                     : "never");
  if (customer.kind != CustomerScript::Kind::Never)
    text += ":" + std::to_string(customer.delay.count());
  text += " timeout=" + std::to_string(m_firmware.CustomerTimeout().count());
  text += " firmware=" + m_firmware.Version();
  text += " language=" + std::string(LanguageName(m_firmware.CurrentLanguage()));
  const auto& armed = m_firmware.Armed();
  text += " inject=" + (armed ? Describe(*armed) : std::string("none"));
  // Describe() of an injection may contain a blank; keep one token per key.
  for (std::size_t i = text.rfind("inject=") + 7; i < text.size(); ++i)
    if (text[i] == ' ') text[i] = ':';
  return text;
}

}  // namespace qvx::sim
