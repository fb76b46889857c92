#include "device/Mac.h"

namespace qvx::sim {
namespace {

std::uint64_t Rotl(std::uint64_t value, int bits) {
  return (value << bits) | (value >> (64 - bits));
}

std::uint64_t LoadLe64(const std::uint8_t* p) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

struct State {
  std::uint64_t v0, v1, v2, v3;

  void Round() {
    v0 += v1;
    v1 = Rotl(v1, 13);
    v1 ^= v0;
    v0 = Rotl(v0, 32);
    v2 += v3;
    v3 = Rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = Rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = Rotl(v1, 17);
    v1 ^= v2;
    v2 = Rotl(v2, 32);
  }

  void Absorb(std::uint64_t m) {
    v3 ^= m;
    Round();
    Round();
    v0 ^= m;
  }
};

}  // namespace

std::uint64_t SipHash24(const MacKey& key, const std::uint8_t* data, std::size_t size) {
  const std::uint64_t k0 = LoadLe64(key.data());
  const std::uint64_t k1 = LoadLe64(key.data() + 8);
  State s{k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL,
          k1 ^ 0x7465646279746573ULL};

  const std::size_t whole = size - size % 8;
  for (std::size_t offset = 0; offset < whole; offset += 8) s.Absorb(LoadLe64(data + offset));

  // Last block: the leftover bytes and the message length in the top byte.
  std::uint64_t last = static_cast<std::uint64_t>(size & 0xFFu) << 56;
  for (std::size_t i = 0; i < size % 8; ++i)
    last |= static_cast<std::uint64_t>(data[whole + i]) << (8 * i);
  s.Absorb(last);

  s.v2 ^= 0xFF;
  for (int i = 0; i < 4; ++i) s.Round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

Bytes SipHash24Bytes(const MacKey& key, const Bytes& message) {
  const std::uint64_t mac = SipHash24(key, message.data(), message.size());
  Bytes out(8);
  for (std::size_t i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(mac >> (8 * i));
  return out;
}

}  // namespace qvx::sim
