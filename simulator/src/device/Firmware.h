// The device: a state machine fed with host packets, key presses, card
// movements and the time, producing device packets. No sockets, no clock of
// its own, so tests drive it step by step.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/Card.h"
#include "device/Customer.h"
#include "device/Display.h"
#include "device/Injection.h"
#include "device/Packet.h"
#include "device/Texts.h"
#include "device/Time.h"

namespace qvx::sim {

struct FirmwareConfig {
  std::string version = "01.20";
  Millis customerTimeout{30000};
  CustomerScript customer;
  Card card = DefaultCard();
  bool cardInserted = true;
};

// Commands the host sends in a command header.
namespace command {
constexpr std::uint8_t kOpenCard = 0x01;
constexpr std::uint8_t kVersion = 0x02;
constexpr std::uint8_t kCardNumbers = 0x03;
constexpr std::uint8_t kStartSigning = 0x04;
constexpr std::uint8_t kElement = 0x05;
constexpr std::uint8_t kSign = 0x06;
constexpr std::uint8_t kMode = 0x07;
constexpr std::uint8_t kShowResult = 0x08;
}  // namespace command

// Response codes of the response header.
namespace rc {
constexpr std::uint8_t kOpened = 1;
constexpr std::uint8_t kDone = 2;
constexpr std::uint8_t kSigned = 3;
constexpr std::uint8_t kCardNumbers = 4;
constexpr std::uint8_t kVersion = 5;
constexpr std::uint8_t kTimeout = 6;
constexpr std::uint8_t kError = 8;
}  // namespace rc

// The most command data the device takes (25 KB of sign data and a little).
constexpr std::size_t kMaxCommandData = 25600;

class Firmware {
 public:
  explicit Firmware(FirmwareConfig config = {});

  // The driver's end of the cable. Connecting and disconnecting both leave
  // the device idle; nothing is sent while disconnected.
  void Connect(DeviceTime now);
  void Disconnect(DeviceTime now);
  void Receive(const Packet& packet, DeviceTime now);
  // Acts on whatever fell due by `now`: the scripted customer, the time limit.
  void Advance(DeviceTime now);
  std::optional<DeviceTime> NextDeadline() const;
  std::vector<Packet> TakeOutgoing();
  std::vector<std::string> TakeEvents();

  // The world around the device. Each returns false when it changed nothing.
  bool InsertCard(DeviceTime now);
  bool RemoveCard(DeviceTime now);
  // A card swap when one is inserted; the mode 2 counter starts at 0.
  void ChangeCard(Card card, DeviceTime now);
  bool Press(const KeyPress& key, DeviceTime now);
  void SetCustomer(const CustomerScript& script, DeviceTime now);
  void SetCustomerTimeout(Millis limit) { customerTimeout_ = limit; }
  void Arm(const Injection& injection) { injection_ = injection; }
  void SetVersion(std::string version);

  const Display& display() const { return display_; }
  bool Connected() const { return connected_; }
  bool CardInserted() const { return cardInserted_; }
  bool CardPowered() const { return cardPowered_; }
  bool Busy() const { return receiving_.active || op_ != Op::None; }
  bool WaitingForCustomer() const { return op_ == Op::Waiting; }
  std::size_t PinDigits() const { return wait_.pin.size(); }
  const CustomerScript& Customer() const { return customer_; }
  Millis CustomerTimeout() const { return customerTimeout_; }
  const std::string& Version() const { return version_; }
  Language CurrentLanguage() const { return language_; }
  const Card& CurrentCard() const { return card_; }
  const std::optional<Injection>& Armed() const { return injection_; }

 private:
  enum class Op { None, CardOpened, Signing, Waiting };

  struct Receiving {
    bool active = false;
    std::uint8_t command = 0;
    std::size_t expected = 0;
    Bytes data;
  };

  struct Wait {
    enum class Kind { Sign, Mode1, Mode2 };
    Kind kind = Kind::Sign;
    Bytes message;  // Sign and Mode1; Mode2 takes the counter at approval
    std::vector<std::string> screen;
    DeviceTime limit{0};
    std::optional<DeviceTime> scriptDue;
    CustomerScript::Kind scriptKind = CustomerScript::Kind::Never;
    std::string pin;
  };

  struct Reply {
    std::uint8_t code = 0;
    Bytes data;
  };
  static Reply Error(std::uint8_t errorByte) { return Reply{rc::kError, {errorByte}}; }

  // Framing (Firmware.cpp)
  void OnHeader(std::uint8_t command, std::uint16_t length, DeviceTime now);
  void OnData(const Packet& packet, std::uint8_t count, DeviceTime now);
  void OnAbort(std::uint8_t sequence);
  void OnReaderControl(std::uint8_t selector);
  void Execute(std::uint8_t command, const Bytes& data, DeviceTime now);
  void Finish(std::uint8_t command, const Reply& reply);
  void Send(const Packet& packet);
  void Send(const std::vector<Packet>& packets);
  void Log(std::string event);
  void ResetSession();
  void ShowIdle();

  // Commands (Commands.cpp); an empty result means the customer is asked.
  std::optional<Reply> Dispatch(std::uint8_t command, const Bytes& data, DeviceTime now);
  std::optional<std::uint8_t> CheckCard() const;
  Reply OpenCard(const Bytes& data);
  Reply ReportVersion(const Bytes& data);
  Reply ReportCardNumbers(const Bytes& data);
  Reply StartSigning(const Bytes& data);
  Reply AddElement(const Bytes& data);
  std::optional<Reply> Sign(const Bytes& data, DeviceTime now);
  std::optional<Reply> Mode(const Bytes& data, DeviceTime now);
  Reply ShowResult(const Bytes& data);

  // The customer (Keypad.cpp)
  void BeginWait(Wait::Kind kind, Bytes message, std::vector<std::string> screen, DeviceTime now);
  void ScheduleScript(DeviceTime now);
  void ShowWaitScreen();
  void Approve();
  void CustomerCancel();
  void TimeOut();

  std::string version_;
  Millis customerTimeout_;
  CustomerScript customer_;
  Card card_;
  bool cardInserted_;
  bool cardPowered_ = false;
  bool connected_ = false;
  Language language_ = Language::En;

  Op op_ = Op::None;
  Receiving receiving_;
  Wait wait_;
  Bytes elements_;
  std::vector<std::string> lastPage_;
  std::optional<Injection> injection_;

  Display display_;
  std::vector<Packet> outgoing_;
  std::vector<std::string> events_;
};

}  // namespace qvx::sim
