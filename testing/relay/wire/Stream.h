// Frames over a byte stream, for both ends of the relay: the caller supplies
// "read exactly N bytes" for its socket API.
#pragma once

#include <optional>

#include "Wire.h"

namespace qvx::testing::relay::wire {

// The next frame's body. `readExactly(buffer, count)` fills the buffer or
// answers false (peer gone, error). Nothing when the stream ends or the
// header is out of bounds; the connection is then closed.
template <typename ReadExactly>
std::optional<Bytes> ReadFrame(ReadExactly&& readExactly) {
  std::uint8_t header[kHeaderSize];
  if (!readExactly(header, kHeaderSize)) return std::nullopt;
  const std::optional<std::uint32_t> length = BodyLength(header);
  if (!length) return std::nullopt;
  Bytes body(*length);
  if (!readExactly(body.data(), body.size())) return std::nullopt;
  return body;
}

}  // namespace qvx::testing::relay::wire
