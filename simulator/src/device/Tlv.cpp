#include "device/Tlv.h"

namespace qvx::sim {
namespace {

constexpr std::size_t kMaxTagBytes = 3;

}  // namespace

std::optional<std::vector<TlvObject>> ParseTlv(const std::uint8_t* data, std::size_t size) {
  std::vector<TlvObject> objects;
  std::size_t pos = 0;
  while (pos < size) {
    TlvObject object;
    // Tag: a low five bits of 11111 in the first byte announce more bytes,
    // each further byte with bit 8 set announces another.
    std::size_t tagBytes = 0;
    bool more = true;
    while (more) {
      if (pos >= size || tagBytes == kMaxTagBytes) return std::nullopt;
      const std::uint8_t b = data[pos++];
      object.tag = (object.tag << 8) | b;
      more = tagBytes == 0 ? (b & 0x1F) == 0x1F : (b & 0x80) != 0;
      ++tagBytes;
    }
    // Length: short form below 0x80, else 0x81 or 0x82 and that many bytes.
    if (pos >= size) return std::nullopt;
    std::size_t length = data[pos++];
    if (length & 0x80) {
      const std::size_t lengthBytes = length & 0x7F;
      if (lengthBytes < 1 || lengthBytes > 2 || size - pos < lengthBytes) return std::nullopt;
      length = 0;
      for (std::size_t i = 0; i < lengthBytes; ++i) length = (length << 8) | data[pos++];
    }
    if (size - pos < length) return std::nullopt;
    object.value.assign(data + pos, data + pos + length);
    pos += length;
    objects.push_back(std::move(object));
  }
  return objects;
}

}  // namespace qvx::sim
