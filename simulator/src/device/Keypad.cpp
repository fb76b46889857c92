// Waiting for the customer: the PIN, OK and Cancel, the script standing in
// for a person, and the device's own time limit.
#include "device/Firmware.h"
#include "device/Responses.h"

namespace qvx::sim {

void Firmware::BeginWait(Wait::Kind kind, Bytes message, std::vector<std::string> screen, DeviceTime now) {
  op_ = Op::Waiting;
  wait_ = {};
  wait_.kind = kind;
  wait_.message = std::move(message);
  wait_.screen = std::move(screen);
  wait_.limit = now + customerTimeout_;
  ScheduleScript(now);
  ShowWaitScreen();
}

void Firmware::ScheduleScript(DeviceTime now) {
  wait_.scriptKind = customer_.kind;
  wait_.scriptDue.reset();
  if (customer_.kind != CustomerScript::Kind::Never) wait_.scriptDue = now + customer_.delay;
}

void Firmware::SetCustomer(const CustomerScript& script, DeviceTime now) {
  customer_ = script;
  // A person changing the script mid-wait means it from now on.
  if (op_ == Op::Waiting) ScheduleScript(now);
}

void Firmware::ShowWaitScreen() {
  std::vector<std::string> lines = wait_.screen;
  lines.push_back(wait_.pin.empty() ? std::string(Lookup(Text::EnterPin, language_))
                                    : "PIN: " + std::string(wait_.pin.size(), '*'));
  display_.Show(std::move(lines));
}

void Firmware::Advance(DeviceTime now) {
  if (op_ != Op::Waiting) return;
  // The time limit wins a tie with the script.
  if (wait_.scriptDue && *wait_.scriptDue <= now && *wait_.scriptDue < wait_.limit) {
    if (wait_.scriptKind == CustomerScript::Kind::Approve) {
      wait_.pin = kScriptedPin;
      Log("customer (script) entered the PIN and pressed OK");
      Approve();
    } else {
      Log("customer (script) pressed Cancel");
      CustomerCancel();
    }
    return;
  }
  if (wait_.limit <= now) TimeOut();
}

std::optional<DeviceTime> Firmware::NextDeadline() const {
  if (op_ != Op::Waiting) return std::nullopt;
  if (wait_.scriptDue && *wait_.scriptDue < wait_.limit) return wait_.scriptDue;
  return wait_.limit;
}

bool Firmware::Press(const KeyPress& key, DeviceTime now) {
  Advance(now);
  if (op_ != Op::Waiting) return false;
  switch (key.kind) {
    case KeyPress::Kind::Digit:
      if (wait_.pin.size() >= kMaxPinDigits) return false;
      wait_.pin += key.digit;
      ShowWaitScreen();
      return true;
    case KeyPress::Kind::Ok:
      if (wait_.pin.size() < kMinPinDigits) return false;
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
  Bytes message = wait_.message;
  if (wait_.kind == Wait::Kind::Mode2) message = Mode2Message(++card_.counter);
  const Bytes response = ComputeResponse(card_.key, message);
  op_ = Op::None;
  wait_ = {};
  Send(ResponsePackets(rc::kSigned, response));
  display_.Show({Lookup(Text::Confirmed, language_)});
  Log("response sent: rc 3, 8 bytes");
}

void Firmware::CustomerCancel() {
  op_ = Op::None;
  wait_ = {};
  Send(EventPacket(wire::kEventCancelled));
  display_.Show({Lookup(Text::Cancelled, language_)});
  Log("cancelled by the customer");
}

void Firmware::TimeOut() {
  op_ = Op::None;
  wait_ = {};
  Send(ResponseHeader(rc::kTimeout, 0));
  display_.Show({Lookup(Text::TimedOut, language_)});
  Log("customer time limit reached: rc 6");
}

}  // namespace qvx::sim
