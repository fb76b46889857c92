#include "nmhost/Framing.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace qvx::nmhost {

std::size_t CFrameReader::Fill(char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::size_t got = m_read(buffer + done, size - done);
    if (got == 0) break;
    done += got;
  }
  return done;
}

Frame CFrameReader::Next() {
  char lengthBytes[sizeof(std::uint32_t)];
  const std::size_t got = Fill(lengthBytes, sizeof lengthBytes);
  if (got == 0) return {FrameKind::End, {}, {}};
  if (got < sizeof lengthBytes) {
    return {FrameKind::Fault, {}, "the input ended inside a message length"};
  }
  std::uint32_t length = 0;
  std::memcpy(&length, lengthBytes, sizeof length);  // native byte order
  if (length > kMaxInboundMessage) {
    return {FrameKind::Fault,
            {},
            "message length " + std::to_string(length) + " is beyond the limit of " +
                std::to_string(kMaxInboundMessage) + " bytes"};
  }
  std::string text(length, '\0');
  if (Fill(text.data(), length) < length) {
    return {FrameKind::Fault, {}, "the input ended inside a message"};
  }
  return {FrameKind::Message, std::move(text), {}};
}

std::string EncodeFrame(std::string_view json) {
  if (json.size() > kMaxOutboundMessage) {
    throw std::length_error("message of " + std::to_string(json.size()) +
                            " bytes is beyond the browser's limit");
  }
  const auto length = static_cast<std::uint32_t>(json.size());
  std::string frame(sizeof length, '\0');
  std::memcpy(frame.data(), &length, sizeof length);
  frame.append(json);
  return frame;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t count = 0;
    std::uint32_t point = 0;
    std::uint32_t least = 0;
    if (lead < 0x80) {
      ++at;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      count = 1, point = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      count = 2, point = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      count = 3, point = lead & 0x07u, least = 0x10000;
    } else {
      return false;
    }
    if (at + count >= text.size()) return false;  // cut short
    for (std::size_t i = 1; i <= count; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3Fu);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
    at += count + 1;
  }
  return true;
}

}  // namespace qvx::nmhost
