// Waiting for the customer: the PIN, OK and Cancel, the script standing in
// for a person, and the device's own time limit.
#include "device/Firmware.h"
#include "device/Responses.h"

namespace qvx::sim {

void Firmware::BeginWait(Wait::Kind kind, Bytes message, std::vector<std::string> screen,
                         DeviceTime now) {
  m_op = Op::Waiting;
  m_wait = {};
  m_wait.kind = kind;
  m_wait.message = std::move(message);
  m_wait.screen = std::move(screen);
  m_wait.limit = now + m_customerTimeout;
  ScheduleScript(now);
  ShowWaitScreen();
}

void Firmware::ScheduleScript(DeviceTime now) {
  m_wait.scriptKind = m_customer.kind;
  m_wait.scriptDue.reset();
  if (m_customer.kind != CustomerScript::Kind::Never) m_wait.scriptDue = now + m_customer.delay;
}

void Firmware::SetCustomer(const CustomerScript& script, DeviceTime now) {
  m_customer = script;
  // A person changing the script mid-wait means it from now on.
  if (m_op == Op::Waiting) ScheduleScript(now);
}

void Firmware::ShowWaitScreen() {
  std::vector<std::string> lines = m_wait.screen;
  lines.push_back(m_wait.pin.empty() ? std::string(Lookup(Text::EnterPin, m_language))
                                     : "PIN: " + std::string(m_wait.pin.size(), '*'));
  m_display.Show(std::move(lines));
}

void Firmware::Advance(DeviceTime now) {
  if (m_op != Op::Waiting) return;
  // The time limit wins a tie with the script.
  if (m_wait.scriptDue && *m_wait.scriptDue <= now && *m_wait.scriptDue < m_wait.limit) {
    if (m_wait.scriptKind == CustomerScript::Kind::Approve) {
      m_wait.pin = kScriptedPin;
      Log("customer (script) entered the PIN and pressed OK");
      Approve();
    } else {
      Log("customer (script) pressed Cancel");
      CustomerCancel();
    }
    return;
  }
  if (m_wait.limit <= now) TimeOut();
}

std::optional<DeviceTime> Firmware::NextDeadline() const {
  if (m_op != Op::Waiting) return std::nullopt;
  if (m_wait.scriptDue && *m_wait.scriptDue < m_wait.limit) return m_wait.scriptDue;
  return m_wait.limit;
}

bool Firmware::Press(const KeyPress& key, DeviceTime now) {
  Advance(now);
  if (m_op != Op::Waiting) return false;
  switch (key.kind) {
    case KeyPress::Kind::Digit:
      if (m_wait.pin.size() >= kMaxPinDigits) return false;
      m_wait.pin += key.digit;
      ShowWaitScreen();
      return true;
    case KeyPress::Kind::Ok:
      if (m_wait.pin.size() < kMinPinDigits) return false;
      Log("customer pressed OK");
      Approve();
      return true;
    case KeyPress::Kind::Cancel:
      Log("customer pressed Cancel");
      CustomerCancel();
      return true;
  }
  return false;
}

void Firmware::Approve() {
  Bytes message = m_wait.message;
  if (m_wait.kind == Wait::Kind::Mode2) message = Mode2Message(++m_card.counter);
  const Bytes response = ComputeResponse(m_card.key, message);
  m_op = Op::None;
  m_wait = {};
  Send(ResponsePackets(rc::kSigned, response));
  m_display.Show({Lookup(Text::Confirmed, m_language)});
  Log("response sent: rc 3, 8 bytes");
}

void Firmware::CustomerCancel() {
  m_op = Op::None;
  m_wait = {};
  Send(EventPacket(wire::kEventCancelled));
  m_display.Show({Lookup(Text::Cancelled, m_language)});
  Log("cancelled by the customer");
}

void Firmware::TimeOut() {
  m_op = Op::None;
  m_wait = {};
  Send(ResponseHeader(rc::kTimeout, 0));
  m_display.Show({Lookup(Text::TimedOut, m_language)});
  Log("customer time limit reached: rc 6");
}

}  // namespace qvx::sim
