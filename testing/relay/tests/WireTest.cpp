// The relay's frame codec: what one side writes the other reads back, and a
// frame that is short, too long or carries too long a buffer is refused.
#include <gtest/gtest.h>

#include <cstring>

#include "wire/Stream.h"
#include "wire/Wire.h"

namespace qvx::testing::relay::wire {
namespace {

// A byte stream over a buffer, as ReadFrame reads a socket.
class CMemoryStream {
 public:
  explicit CMemoryStream(Bytes data) : m_data(std::move(data)) {}
  bool operator()(void* buffer, std::size_t count) {
    if (m_data.size() - m_offset < count) return false;
    std::memcpy(buffer, m_data.data() + m_offset, count);
    m_offset += count;
    return true;
  }
  std::size_t Left() const { return m_data.size() - m_offset; }

 private:
  Bytes m_data;
  std::size_t m_offset = 0;
};

Bytes Header(std::uint32_t length) {
  return {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
}

TEST(RelayWireTest, FieldsRoundTripInOrderAndLittleEndian) {
  Writer writer;
  writer.U8(static_cast<std::uint8_t>(Op::Connect))
      .U64(0x1122334455667788u)
      .Text("Meridel Quorvex2_Reader 00 00")
      .U32(0x80100022u)
      .Blob(Bytes{});
  const Bytes frame = writer.Frame();
  // The header counts the body only, least significant byte first.
  ASSERT_EQ(frame.size(), writer.Body().size() + kHeaderSize);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4),
            Header(static_cast<std::uint32_t>(writer.Body().size())));
  EXPECT_EQ(frame[5], 0x88);  // the u64 after the op byte, low byte first

  CMemoryStream stream(frame);
  const std::optional<Bytes> body = ReadFrame(stream);
  ASSERT_TRUE(body);
  Reader reader(*body);
  EXPECT_EQ(reader.U8(), static_cast<std::uint8_t>(Op::Connect));
  EXPECT_EQ(reader.U64(), 0x1122334455667788u);
  EXPECT_EQ(reader.Text(), "Meridel Quorvex2_Reader 00 00");
  EXPECT_EQ(reader.U32(), 0x80100022u);
  EXPECT_TRUE(reader.Blob().empty());
  EXPECT_TRUE(reader.Done());
}

TEST(RelayWireTest, FramesFollowOneAnotherOnAStream) {
  Bytes stream = Writer().U32(1).Frame();
  const Bytes second = Writer().U32(2).Blob(Bytes(1000, 0xAB)).Frame();
  stream.insert(stream.end(), second.begin(), second.end());
  CMemoryStream in(stream);
  const std::optional<Bytes> first = ReadFrame(in);
  const std::optional<Bytes> next = ReadFrame(in);
  ASSERT_TRUE(first && next);
  EXPECT_EQ(Reader(*first).U32(), 1u);
  Reader reader(*next);
  EXPECT_EQ(reader.U32(), 2u);
  EXPECT_EQ(reader.Blob(), Bytes(1000, 0xAB));
  EXPECT_TRUE(reader.Done());
  EXPECT_EQ(in.Left(), 0u);
  EXPECT_FALSE(ReadFrame(in));  // the stream has ended
}

TEST(RelayWireTest, TruncatedFramesAreRefused) {
  const Bytes frame = Writer().U8(1).U32(7).Frame();
  // Cut in the header, and cut in the body.
  for (const std::size_t kept : {std::size_t{2}, frame.size() - 1}) {
    CMemoryStream stream(Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(kept)));
    EXPECT_FALSE(ReadFrame(stream)) << "kept " << kept;
  }
}

TEST(RelayWireTest, HeadersOutOfBoundsAreRefusedBeforeTheBodyIsRead) {
  for (const std::uint32_t length : {0u, kMaxBody + 1, 0xFFFFFFFFu}) {
    Bytes frame = Header(length);
    frame.resize(frame.size() + 16, 0);
    CMemoryStream stream(frame);
    EXPECT_FALSE(ReadFrame(stream)) << length;
    // Nothing beyond the header was consumed for a body it announced.
    EXPECT_EQ(stream.Left(), 16u) << length;
  }
  Bytes largest = Header(kMaxBody);
  largest.resize(kHeaderSize + kMaxBody, 0);
  CMemoryStream stream(largest);
  EXPECT_TRUE(ReadFrame(stream));
}

TEST(RelayWireTest, ReadsPastTheBodyFailTheReaderForGood) {
  const Bytes body = Writer().U32(5).Body();
  Reader reader(body);
  EXPECT_EQ(reader.U64(), 0u);  // four bytes only
  EXPECT_FALSE(reader.Ok());
  EXPECT_EQ(reader.U8(), 0u);  // not resumed on the bytes that remain
  EXPECT_FALSE(reader.Done());

  Reader trailing(body);
  trailing.U8();
  EXPECT_TRUE(trailing.Ok());
  EXPECT_FALSE(trailing.Done());  // bytes left over
}

TEST(RelayWireTest, BlobLengthsBeyondTheBodyOrTheCapAreRefused) {
  // A length that runs past the body's end.
  const Bytes shortBody = Writer().U32(10).U8(1).Body();
  Reader pastEnd(shortBody);
  EXPECT_TRUE(pastEnd.Blob().empty());
  EXPECT_FALSE(pastEnd.Ok());

  // A length over the cap, even with that many bytes present.
  Bytes oversized = Writer().U32(kMaxBuffer + 1).Body();
  oversized.resize(oversized.size() + kMaxBuffer + 1, 0);
  Reader overCap(oversized);
  overCap.Blob();
  EXPECT_FALSE(overCap.Ok());

  // The writer never produces one: it cuts at the cap.
  const Bytes big(kMaxBuffer + 10, 0x5A);
  const Bytes body = Writer().Blob(big).Body();
  Reader cut(body);
  EXPECT_EQ(cut.Blob().size(), kMaxBuffer);
  EXPECT_TRUE(cut.Done());
}

TEST(RelayWireTest, OnlyKnownOperationsAreAccepted) {
  EXPECT_FALSE(KnownOp(0));
  EXPECT_TRUE(KnownOp(static_cast<std::uint8_t>(Op::EstablishContext)));
  EXPECT_TRUE(KnownOp(static_cast<std::uint8_t>(Op::SetCancelEvent)));
  EXPECT_FALSE(KnownOp(static_cast<std::uint8_t>(Op::SetCancelEvent) + 1));
}

}  // namespace
}  // namespace qvx::testing::relay::wire
