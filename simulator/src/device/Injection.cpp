#include "device/Injection.h"

namespace qvx::sim {
namespace {

struct Name {
  Malformed kind;
  const char* name;
};

constexpr Name kNames[] = {
    {Malformed::Count7, "count7"},
    {Malformed::Count0, "count0"},
    {Malformed::Length257, "len257"},
    {Malformed::WrongType, "type"},
};

Packet DataPacketClaiming(std::uint8_t count) {
  Packet packet{};
  packet[0] = wire::kTypeData;
  packet[1] = count;
  for (std::size_t i = 2; i < packet.size(); ++i) packet[i] = 0xEE;
  return packet;
}

}  // namespace

std::optional<Malformed> ParseMalformed(const std::string& name) {
  for (const Name& entry : kNames)
    if (name == entry.name) return entry.kind;
  return std::nullopt;
}

const char* MalformedName(Malformed kind) {
  for (const Name& entry : kNames)
    if (entry.kind == kind) return entry.name;
  return "?";
}

std::vector<Packet> MalformedPackets(Malformed kind, std::uint8_t code) {
  switch (kind) {
    case Malformed::Count7:
      return {ResponseHeader(code, 6), DataPacketClaiming(7)};
    case Malformed::Count0:
      return {ResponseHeader(code, 6), DataPacketClaiming(0)};
    case Malformed::Length257:
      return {ResponseHeader(code, 257)};
    case Malformed::WrongType: {
      Packet packet = ResponseHeader(code, 0);
      packet[0] = 0x05;
      return {packet};
    }
  }
  return {};
}

std::string Describe(const Injection& injection) {
  switch (injection.kind) {
    case Injection::Kind::Rc6:
      return "rc6";
    case Injection::Kind::Rc8:
      return "rc8 " + std::to_string(injection.errorByte);
    case Injection::Kind::Malformed:
      break;
  }
  return std::string("malformed ") + MalformedName(injection.malformed);
}

}  // namespace qvx::sim
