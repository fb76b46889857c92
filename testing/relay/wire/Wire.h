// The relay's wire format, shared by the Windows DLL and the Linux relay.
//
// A frame is a 32-bit little-endian body length and the body. A request body
// is the operation byte and its fields; a reply body is the 32-bit PC/SC
// result and the operation's out fields. Integers are little-endian; byte
// strings carry a 32-bit length first. Both sides compile this header (g++
// and MinGW), so it uses only the standard library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvx::testing::relay::wire {

using Bytes = std::vector<std::uint8_t>;

// No PC/SC buffer the programs under test pass comes near this; a length
// beyond it is a broken peer, never a real call.
inline constexpr std::uint32_t kMaxBuffer = 64 * 1024;
// A body holds at most one buffer plus a few fixed fields.
inline constexpr std::uint32_t kMaxBody = kMaxBuffer + 256;
inline constexpr std::size_t kHeaderSize = 4;

enum class Op : std::uint8_t {
  EstablishContext = 1,  // u32 scope -> u64 context
  ReleaseContext,        // u64 context
  IsValidContext,        // u64 context
  ListReaders,           // u64 context -> bytes multi-string
  Connect,     // u64 context, bytes reader, u32 share, u32 protocols -> u64 card, u32 protocol
  Disconnect,  // u64 card, u32 disposition
  Status,      // u64 card -> bytes reader names, u32 state, u32 protocol, bytes atr
  Control,     // u64 card, u32 code, bytes in, u32 out capacity -> bytes out
  Transmit,    // u64 card, u32 protocol, bytes in, u32 out capacity -> bytes out
  BeginTransaction,  // u64 card
  EndTransaction,    // u64 card, u32 disposition
  GetAttrib,  // u64 card, u32 attribute, u32 capacity (0: length only) -> u32 length, bytes value
  SetCancelEvent,  // bytes reader: sets the reader's cancel event on the Linux side
};

inline bool KnownOp(std::uint8_t op) {
  return op >= static_cast<std::uint8_t>(Op::EstablishContext) &&
         op <= static_cast<std::uint8_t>(Op::SetCancelEvent);
}

// A body with its header, ready to send.
inline Bytes FrameOf(const Bytes& body) {
  Bytes frame;
  frame.reserve(kHeaderSize + body.size());
  const auto size = static_cast<std::uint32_t>(body.size());
  for (int shift = 0; shift < 32; shift += 8) {
    frame.push_back(static_cast<std::uint8_t>(size >> shift));
  }
  frame.insert(frame.end(), body.begin(), body.end());
  return frame;
}

// Builds one frame: the body grows field by field, Frame() adds the header.
class Writer {
 public:
  Writer& U8(std::uint8_t value) {
    m_body.push_back(value);
    return *this;
  }
  Writer& U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
      m_body.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return *this;
  }
  Writer& U64(std::uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8) {
      m_body.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return *this;
  }
  // Callers keep `size` within kMaxBuffer; a longer buffer is cut there and
  // the peer's answer stays well-formed.
  Writer& Blob(const void* data, std::size_t size) {
    const std::uint32_t length = static_cast<std::uint32_t>(size < kMaxBuffer ? size : kMaxBuffer);
    U32(length);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (length != 0) m_body.insert(m_body.end(), bytes, bytes + length);
    return *this;
  }
  Writer& Blob(const Bytes& bytes) { return Blob(bytes.data(), bytes.size()); }
  Writer& Text(const std::string& text) { return Blob(text.data(), text.size()); }

  const Bytes& Body() const { return m_body; }
  // Header and body, ready to send.
  Bytes Frame() const { return FrameOf(m_body); }

 private:
  Bytes m_body;
};

// The body length a header announces, or nothing when it is out of bounds
// (the connection is then closed: nothing after it can be trusted).
inline std::optional<std::uint32_t> BodyLength(const std::uint8_t (&header)[kHeaderSize]) {
  const std::uint32_t length =
      static_cast<std::uint32_t>(header[0]) | static_cast<std::uint32_t>(header[1]) << 8 |
      static_cast<std::uint32_t>(header[2]) << 16 | static_cast<std::uint32_t>(header[3]) << 24;
  if (length == 0 || length > kMaxBody) return std::nullopt;
  return length;
}

// Reads the fields of one body in order. A read past the end, or a buffer
// longer than kMaxBuffer, fails the reader for good; callers check Ok()
// (and Done() for trailing bytes) once after the last field.
class Reader {
 public:
  // Keeps a reference: `body` outlives the reader.
  explicit Reader(const Bytes& body) : m_body(body) {}

  std::uint8_t U8() {
    if (!Have(1)) return 0;
    return m_body[m_offset++];
  }
  std::uint32_t U32() {
    if (!Have(4)) return 0;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(m_body[m_offset++]) << (8 * i);
    return value;
  }
  std::uint64_t U64() {
    if (!Have(8)) return 0;
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= static_cast<std::uint64_t>(m_body[m_offset++]) << (8 * i);
    return value;
  }
  Bytes Blob() {
    const std::uint32_t length = U32();
    if (length > kMaxBuffer) m_ok = false;
    if (!Have(length)) return {};
    Bytes blob(m_body.begin() + static_cast<std::ptrdiff_t>(m_offset),
               m_body.begin() + static_cast<std::ptrdiff_t>(m_offset + length));
    m_offset += length;
    return blob;
  }
  std::string Text() {
    const Bytes blob = Blob();
    return std::string(blob.begin(), blob.end());
  }

  bool Ok() const { return m_ok; }
  // Every field read and nothing left over.
  bool Done() const { return m_ok && m_offset == m_body.size(); }

 private:
  bool Have(std::size_t count) {
    if (m_ok && m_body.size() - m_offset >= count) return true;
    m_ok = false;
    return false;
  }

  const Bytes& m_body;
  std::size_t m_offset = 0;
  bool m_ok = true;
};

}  // namespace qvx::testing::relay::wire
