#include "device/Firmware.h"

#include <cstdio>
#include <utility>

#include "device/Atr.h"
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
    case command::kOpenCard: return rc::kOpened;
    case command::kVersion: return rc::kVersion;
    case command::kCardNumbers: return rc::kCardNumbers;
    case command::kSign:
    case command::kMode: return rc::kSigned;
    default: return rc::kDone;
  }
}

}  // namespace

Firmware::Firmware(FirmwareConfig config)
    : version_(std::move(config.version)),
      customerTimeout_(config.customerTimeout),
      customer_(config.customer),
      card_(std::move(config.card)),
      cardInserted_(config.cardInserted) {
  ShowIdle();
}

void Firmware::Connect(DeviceTime) {
  connected_ = true;
  ResetSession();
  Log("driver connected");
}

void Firmware::Disconnect(DeviceTime) {
  if (!connected_) return;
  connected_ = false;
  ResetSession();
  outgoing_.clear();
  Log("driver disconnected; idle");
}

void Firmware::ResetSession() {
  receiving_ = {};
  op_ = Op::None;
  wait_ = {};
  elements_.clear();
  lastPage_.clear();
  cardPowered_ = false;
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
  if (receiving_.active) Log("command " + Hex2(receiving_.command) + " dropped before its data was complete");
  receiving_ = {};
  if (length == 0) {
    Execute(command, {}, now);
    return;
  }
  receiving_.active = true;
  receiving_.command = command;
  receiving_.expected = length;
}

void Firmware::OnData(const Packet& packet, std::uint8_t count, DeviceTime now) {
  if (!receiving_.active) {
    Log("ignored data packet outside a command");
    return;
  }
  const std::uint8_t command = receiving_.command;
  if (count < 1 || count > wire::kMaxChunk || receiving_.data.size() + count > receiving_.expected) {
    receiving_ = {};
    Log("command " + Hex2(command) + ": bad data packet " + ToHex(packet));
    if (op_ == Op::Waiting)
      Send(ResponsePackets(rc::kError, {error::kNotAllowed}));
    else
      Finish(command, Error(error::kInputNotValid));
    return;
  }
  receiving_.data.insert(receiving_.data.end(), packet.begin() + 2, packet.begin() + 2 + count);
  if (receiving_.data.size() < receiving_.expected) return;
  Bytes data = std::move(receiving_.data);
  receiving_ = {};
  Execute(command, data, now);
}

void Firmware::OnAbort(std::uint8_t sequence) {
  if (!Busy()) {
    Log("abort " + Hex2(sequence) + " ignored: idle");
    return;
  }
  const bool waiting = op_ == Op::Waiting;
  receiving_ = {};
  op_ = Op::None;
  wait_ = {};
  Send(EventPacket(wire::kEventAborted));
  if (waiting) display_.Show({Lookup(Text::Aborted, language_)});
  Log("abort " + Hex2(sequence) + ": operation ended");
}

void Firmware::OnReaderControl(std::uint8_t selector) {
  switch (selector) {
    case wire::kColdReset:
    case wire::kWarmReset:
      if (!cardInserted_) {
        Send(CardStatusPacket(false));
        Log("reset without a card");
        return;
      }
      cardPowered_ = true;
      Send(DataPackets(CardAtr()));
      Log(selector == wire::kColdReset ? "card cold reset: ATR sent" : "card warm reset: ATR sent");
      return;
    case wire::kPowerOff:
      cardPowered_ = false;
      Log("card powered off");
      return;
    case wire::kStatusQuery:
      Send(CardStatusPacket(cardInserted_));
      return;
    default:
      Log("ignored reader control " + Hex2(selector));
      return;
  }
}

void Firmware::Execute(std::uint8_t command, const Bytes& data, DeviceTime now) {
  if (op_ == Op::Waiting) {
    // The customer is being asked; that operation carries on.
    Log("command " + Hex2(command) + " refused: waiting for the customer");
    Send(ResponsePackets(rc::kError, {error::kNotAllowed}));
    return;
  }
  if (injection_) {
    const Injection injection = *injection_;
    injection_.reset();
    op_ = Op::None;
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
    op_ = Op::None;
    elements_.clear();
  }
  Send(ResponsePackets(reply.code, reply.data));
  std::string event = "command " + Hex2(command) + " -> rc " + std::to_string(reply.code);
  if (reply.code == rc::kError && !reply.data.empty()) event += ", error " + std::to_string(reply.data[0]);
  else event += ", " + std::to_string(reply.data.size()) + " bytes";
  Log(event);
}

bool Firmware::InsertCard(DeviceTime) {
  if (cardInserted_) return false;
  cardInserted_ = true;
  cardPowered_ = false;
  Send(CardStatusPacket(true));
  if (op_ != Op::Waiting) ShowIdle();
  Log("card inserted");
  return true;
}

bool Firmware::RemoveCard(DeviceTime) {
  if (!cardInserted_) return false;
  cardInserted_ = false;
  cardPowered_ = false;
  Send(CardStatusPacket(false));
  Log("card removed");
  if (op_ == Op::Waiting) {
    // The host is waiting for this answer; the card status alone would not end it.
    op_ = Op::None;
    wait_ = {};
    Send(ResponsePackets(rc::kError, {error::kNoCard}));
    display_.Show({Lookup(Text::CardRemoved, language_)});
    Log("operation ended: error " + std::to_string(error::kNoCard));
    return true;
  }
  op_ = Op::None;
  elements_.clear();
  ShowIdle();
  return true;
}

void Firmware::ChangeCard(Card card, DeviceTime now) {
  const bool wasInserted = RemoveCard(now);
  card_ = std::move(card);
  card_.counter = 0;
  if (wasInserted) InsertCard(now);
}

void Firmware::SetVersion(std::string version) {
  version_ = std::move(version);
  if (op_ == Op::None && !receiving_.active) ShowIdle();
}

void Firmware::ShowIdle() {
  display_.Show({"Quorvex2 " + version_, Lookup(cardInserted_ ? Text::CardInserted : Text::InsertCard, language_)});
}

void Firmware::Send(const Packet& packet) {
  if (connected_) outgoing_.push_back(packet);
}

void Firmware::Send(const std::vector<Packet>& packets) {
  for (const Packet& packet : packets) Send(packet);
}

void Firmware::Log(std::string event) { events_.push_back(std::move(event)); }

std::vector<Packet> Firmware::TakeOutgoing() { return std::exchange(outgoing_, {}); }

std::vector<std::string> Firmware::TakeEvents() { return std::exchange(events_, {}); }

}  // namespace qvx::sim
