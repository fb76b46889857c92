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
#include "device/DevicePackets.h"
#include "device/DeviceTime.h"
#include "device/Display.h"
#include "device/Injection.h"
#include "device/Texts.h"

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
  void SetCustomerTimeout(Millis limit) { m_customerTimeout = limit; }
  void Arm(const Injection& injection) { m_injection = injection; }
  void SetVersion(std::string version);

  const Display& display() const { return m_display; }
  bool Connected() const { return m_connected; }
  bool CardInserted() const { return m_cardInserted; }
  bool CardPowered() const { return m_cardPowered; }
  bool Busy() const { return m_receiving.active || m_op != Op::None; }
  bool WaitingForCustomer() const { return m_op == Op::Waiting; }
  std::size_t PinDigits() const { return m_wait.pin.size(); }
  const CustomerScript& Customer() const { return m_customer; }
  Millis CustomerTimeout() const { return m_customerTimeout; }
  const std::string& Version() const { return m_version; }
  Language CurrentLanguage() const { return m_language; }
  const Card& CurrentCard() const { return m_card; }
  const std::optional<Injection>& Armed() const { return m_injection; }

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

  std::string m_version;
  Millis m_customerTimeout;
  CustomerScript m_customer;
  Card m_card;
  bool m_cardInserted;
  bool m_cardPowered = false;
  bool m_connected = false;
  Language m_language = Language::En;

  Op m_op = Op::None;
  Receiving m_receiving;
  Wait m_wait;
  Bytes m_elements;
  std::vector<std::string> m_lastPage;
  std::optional<Injection> m_injection;

  Display m_display;
  std::vector<Packet> m_outgoing;
  std::vector<std::string> m_events;
};

}  // namespace qvx::sim
