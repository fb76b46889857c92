// The browser's native messaging framing: each message is a 32-bit length in
// the machine's byte order followed by that many bytes of UTF-8 JSON.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qvx::nmhost {

// The largest message taken from the browser. A real request is at most a
// few tens of kilobytes (GetResponse's 51200 hex characters); a length far
// beyond that is a broken stream, not a request.
constexpr std::size_t kMaxInboundMessage = 1024 * 1024;
// The browsers take at most 1 MB from a host.
constexpr std::size_t kMaxOutboundMessage = 1024 * 1024;

enum class FrameKind {
  Message,  // text holds the message (not yet checked as UTF-8 or JSON)
  End,      // the input ended cleanly between messages
  Fault,    // the stream cannot be read on; fault says why
};

struct Frame {
  FrameKind kind = FrameKind::End;
  std::string text;
  std::string fault;
};

// Reads up to `size` bytes into `buffer`; 0 at the end of the input.
using ReadBytes = std::function<std::size_t(char* buffer, std::size_t size)>;

class CFrameReader {
 public:
  explicit CFrameReader(ReadBytes read) : m_read(std::move(read)) {}

  // The next message. After an End or a Fault the stream is not read again.
  Frame Next();

 private:
  // Fills `size` bytes; the count read when the input ends first.
  std::size_t Fill(char* buffer, std::size_t size);

  ReadBytes m_read;
};

// The framed bytes of one message; std::length_error beyond
// kMaxOutboundMessage.
std::string EncodeFrame(std::string_view json);

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

}  // namespace qvx::nmhost
