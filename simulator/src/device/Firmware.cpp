#include "device/Firmware.h"

#include <cstdio>
#include <utility>

#include "device/CardAtr.h"
#include "device/ErrorBytes.h"

namespace qvx::sim {
namespace {

std::string Hex2(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

// The code a command answers with when all goes well; a malformed
// injection wears it so only the framing is wrong.
std::uint8_t SuccessCode(std::uint8_t command) {
  switch (command) {
    case command::kOpenCard:
      return rc::kOpened;
    case command::kVersion:
      return rc::kVersion;
    case command::kCardNumbers:
      return rc::kCardNumbers;
    case command::kSign:
    case command::kMode:
      return rc::kSigned;
    default:
      return rc::kDone;
  }
}

}  // namespace

Firmware::Firmware(FirmwareConfig config)
    : m_version(std::move(config.version)),
      m_customerTimeout(config.customerTimeout),
      m_customer(config.customer),
      m_card(std::move(config.card)),
      m_cardInserted(config.cardInserted) {
  ShowIdle();
}

void Firmware::Connect(DeviceTime) {
  m_connected = true;
  ResetSession();
  Log("driver connected");
}

void Firmware::Disconnect(DeviceTime) {
  if (!m_connected) return;
  m_connected = false;
  ResetSession();
  m_outgoing.clear();
  Log("driver disconnected; idle");
}

void Firmware::ResetSession() {
  m_receiving = {};
  m_op = Op::None;
  m_wait = {};
  m_elements.clear();
  m_lastPage.clear();
  m_cardPowered = false;
  ShowIdle();
}

void Firmware::Receive(const Packet& packet, DeviceTime now) {
  Advance(now);
  const Incoming in = Classify(packet);
  switch (in.kind) {
    case Incoming::Kind::CommandHeader:
      OnHeader(in.command, in.length, now);
      return;
    case Incoming::Kind::Data:
      OnData(packet, in.count, now);
      return;
    case Incoming::Kind::Abort:
      OnAbort(in.sequence);
      return;
    case Incoming::Kind::ReaderControl:
      OnReaderControl(in.selector);
      return;
    case Incoming::Kind::Invalid:
      break;
  }
  Log("ignored packet " + ToHex(packet));
}

void Firmware::OnHeader(std::uint8_t command, std::uint16_t length, DeviceTime now) {
  if (m_receiving.active)
    Log("command " + Hex2(m_receiving.command) + " dropped before its data was complete");
  m_receiving = {};
  if (length == 0) {
    Execute(command, {}, now);
    return;
  }
  m_receiving.active = true;
  m_receiving.command = command;
  m_receiving.expected = length;
}

void Firmware::OnData(const Packet& packet, std::uint8_t count, DeviceTime now) {
  if (!m_receiving.active) {
    Log("ignored data packet outside a command");
    return;
  }
  const std::uint8_t command = m_receiving.command;
  if (count < 1 || count > wire::kMaxChunk ||
      m_receiving.data.size() + count > m_receiving.expected) {
    m_receiving = {};
    Log("command " + Hex2(command) + ": bad data packet " + ToHex(packet));
    if (m_op == Op::Waiting)
      Send(ResponsePackets(rc::kError, {error::kNotAllowed}));
    else
      Finish(command, Error(error::kInputNotValid));
    return;
  }
  m_receiving.data.insert(m_receiving.data.end(), packet.begin() + 2, packet.begin() + 2 + count);
  if (m_receiving.data.size() < m_receiving.expected) return;
  Bytes data = std::move(m_receiving.data);
  m_receiving = {};
  Execute(command, data, now);
}

void Firmware::OnAbort(std::uint8_t sequence) {
  if (!Busy()) {
    Log("abort " + Hex2(sequence) + " ignored: idle");
    return;
  }
  const bool waiting = m_op == Op::Waiting;
  m_receiving = {};
  m_op = Op::None;
  m_wait = {};
  Send(EventPacket(wire::kEventAborted));
  if (waiting) m_display.Show({Lookup(Text::Aborted, m_language)});
  Log("abort " + Hex2(sequence) + ": operation ended");
}

void Firmware::OnReaderControl(std::uint8_t selector) {
  switch (selector) {
    case wire::kColdReset:
    case wire::kWarmReset:
      if (!m_cardInserted) {
        Send(CardStatusPacket(false));
        Log("reset without a card");
        return;
      }
      m_cardPowered = true;
      Send(DataPackets(CardAtr()));
      Log(selector == wire::kColdReset ? "card cold reset: ATR sent" : "card warm reset: ATR sent");
      return;
    case wire::kPowerOff:
      m_cardPowered = false;
      Log("card powered off");
      return;
    case wire::kStatusQuery:
      Send(CardStatusPacket(m_cardInserted));
      return;
    default:
      Log("ignored reader control " + Hex2(selector));
      return;
  }
}

void Firmware::Execute(std::uint8_t command, const Bytes& data, DeviceTime now) {
  if (m_op == Op::Waiting) {
    // The customer is being asked; that operation carries on.
    Log("command " + Hex2(command) + " refused: waiting for the customer");
    Send(ResponsePackets(rc::kError, {error::kNotAllowed}));
    return;
  }
  if (m_injection) {
    const Injection injection = *m_injection;
    m_injection.reset();
    m_op = Op::None;
    Log("command " + Hex2(command) + " answered by injection: " + Describe(injection));
    switch (injection.kind) {
      case Injection::Kind::Rc6:
        Send(ResponseHeader(rc::kTimeout, 0));
        return;
      case Injection::Kind::Rc8:
        Send(ResponsePackets(rc::kError, {injection.errorByte}));
        return;
      case Injection::Kind::Malformed:
        Send(MalformedPackets(injection.malformed, SuccessCode(command)));
        return;
    }
    return;
  }
  if (data.size() > kMaxCommandData) {
    Finish(command, Error(error::kDataSize));
    return;
  }
  const std::optional<Reply> reply = Dispatch(command, data, now);
  if (reply) {
    Finish(command, *reply);
  } else {
    Log("command " + Hex2(command) + ": waiting for the customer");
  }
}

void Firmware::Finish(std::uint8_t command, const Reply& reply) {
  if (reply.code == rc::kError || reply.code == rc::kTimeout) {
    m_op = Op::None;
    m_elements.clear();
  }
  Send(ResponsePackets(reply.code, reply.data));
  std::string event = "command " + Hex2(command) + " -> rc " + std::to_string(reply.code);
  if (reply.code == rc::kError && !reply.data.empty())
    event += ", error " + std::to_string(reply.data[0]);
  else
    event += ", " + std::to_string(reply.data.size()) + " bytes";
  Log(event);
}

bool Firmware::InsertCard(DeviceTime) {
  if (m_cardInserted) return false;
  m_cardInserted = true;
  m_cardPowered = false;
  Send(CardStatusPacket(true));
  if (m_op != Op::Waiting) ShowIdle();
  Log("card inserted");
  return true;
}

bool Firmware::RemoveCard(DeviceTime) {
  if (!m_cardInserted) return false;
  m_cardInserted = false;
  m_cardPowered = false;
  Send(CardStatusPacket(false));
  Log("card removed");
  if (m_op == Op::Waiting) {
    // The host is waiting for this answer; the card status alone would not end it.
    m_op = Op::None;
    m_wait = {};
    Send(ResponsePackets(rc::kError, {error::kNoCard}));
    m_display.Show({Lookup(Text::CardRemoved, m_language)});
    Log("operation ended: error " + std::to_string(error::kNoCard));
    return true;
  }
  m_op = Op::None;
  m_elements.clear();
  ShowIdle();
  return true;
}

void Firmware::ChangeCard(Card card, DeviceTime now) {
  const bool wasInserted = RemoveCard(now);
  m_card = std::move(card);
  m_card.counter = 0;
  if (wasInserted) InsertCard(now);
}

void Firmware::SetVersion(std::string version) {
  m_version = std::move(version);
  if (m_op == Op::None && !m_receiving.active) ShowIdle();
}

void Firmware::ShowIdle() {
  m_display.Show({"Quorvex2 " + m_version,
                  Lookup(m_cardInserted ? Text::CardInserted : Text::InsertCard, m_language)});
}

void Firmware::Send(const Packet& packet) {
  if (m_connected) m_outgoing.push_back(packet);
}

void Firmware::Send(const std::vector<Packet>& packets) {
  for (const Packet& packet : packets) Send(packet);
}

void Firmware::Log(std::string event) { m_events.push_back(std::move(event)); }

std::vector<Packet> Firmware::TakeOutgoing() { return std::exchange(m_outgoing, {}); }

std::vector<std::string> Firmware::TakeEvents() { return std::exchange(m_events, {}); }

}  // namespace qvx::sim
