// Vendor requests against a scripted device: which commands go out, what
// comes back, and what the last-error record says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ReaderFixture.h"
#include "reader/ServedVendorCodes.h"

namespace qvx::testing {
namespace {

using namespace qvx::driver;

Bytes Repeat(std::size_t n, std::uint8_t b) { return Bytes(n, b); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes DisplayElement(std::size_t count) {
  return Cat({{0x01, static_cast<std::uint8_t>(count)}, Repeat(count, 'A')});
}

struct Script {
  std::uint8_t command;
  Packets answer;
};

struct FlowCase {
  const char* name;
  std::uint32_t code;
  Bytes input;
  std::vector<Script> scripts;
  std::vector<ReceivedCommand> sent;
  Bytes reply;
  LastErrorRecord record;
};

const Bytes kStartOk{0x01};

class VendorRequestTest : public ReaderFixture {};

TEST_F(VendorRequestTest, Flows) {
  const Bytes mode1Block = Cat(
      {{0x01, 0x0D, 0x9F, 0x37, 0x04, 0x00, 0x00, 0x12, 0x34, 0x9F, 0x02, 0x00, 0x5F, 0x2A, 0x00},
       Repeat(8, 0x00)});
  const Bytes element0{0x00, 0x02, 0xCC, 0xDD};
  const FlowCase cases[] = {
      {"check device",
       kCheckDevice,
       {},
       {{0x02, sim::ResponsePackets(5, {'0', '1', '.', '2', '0', 0x00})}},
       {{0x02, {}}},
       {'0', '1', '.', '2', '0', 0x00, '0', '1', '.', '2', '4', 0x00},
       {0, 0, 0, 0}},
      {"check card",
       kCheckCard,
       {'n', 'l'},
       {{0x01, sim::ResponsePackets(1, kStartOk)},
        {0x03, sim::ResponsePackets(4, {0x01, 0x55, 0x01, 0x07})}},
       {{0x01, {'n', 'l'}}, {0x03, {}}},
       {0x01, 0x55, 0x01, 0x07},
       {0, 0, 0, 0}},
      {"get response with two elements",
       kGetResponse,
       Cat({element0, DisplayElement(68), {'0', '0'}}),
       {{0x01, sim::ResponsePackets(1, kStartOk)},
        {0x04, sim::ResponsePackets(2, {})},
        {0x05, sim::ResponsePackets(2, {})},
        {0x06, sim::ResponsePackets(3, {0xAB, 0xCD})}},
       {{0x01, {'0', '0'}}, {0x04, {}}, {0x05, element0}, {0x05, DisplayElement(68)}, {0x06, {}}},
       {0xAB, 0xCD},
       {0, 0, 0, 0}},
      {"mode 1 with a two-byte challenge",
       kGetMode1Response,
       {0x02, 0x12, 0x34},
       {{0x01, sim::ResponsePackets(1, kStartOk)},
        {0x07, sim::ResponsePackets(3, {0x11, 0x22, 0x33})}},
       {{0x01, {0x00, 0x00}}, {0x07, mode1Block}},
       {0x11, 0x22, 0x33},
       {0, 0, 0, 0}},
      {"mode 2",
       kGetMode2Response,
       {},
       {{0x01, sim::ResponsePackets(1, kStartOk)}, {0x07, sim::ResponsePackets(3, {0x44})}},
       {{0x01, {0x00, 0x00}}, {0x07, {0x02}}},
       {0x44},
       {0, 0, 0, 0}},
      {"display result",
       kDisplayResult,
       {0x00, 0x07, 'n', 'l'},
       {{0x08, sim::ResponsePackets(2, {})}},
       {{0x08, {0x00, 0x07, 'n', 'l'}}},
       {},
       {0, 0, 0, 0}},
      {"function 0x808", kFunction808, {0x01}, {}, {}, {}, {0, 0, 0, 0}},
      {"display element of 67 characters",
       kGetResponse,
       Cat({DisplayElement(67), {'0', '0'}}),
       {},
       {},
       {},
       {10, 25, 0, 0}},
      {"input too long", kDisplayResult, Repeat(25603, 0x30), {}, {}, {}, {10, 40, 0, 0}},
      {"check card without a parameter", kCheckCard, {'n'}, {}, {}, {}, {10, 25, 0, 0}},
      {"mode 1 without a challenge", kGetMode1Response, {0x00}, {}, {}, {}, {10, 25, 0, 0}},
      {"mode 1 of the wrong length", kGetMode1Response, {0x02, 0x12}, {}, {}, {}, {10, 25, 0, 0}},
      {"error byte 36",
       kCheckCard,
       {'0', '0'},
       {{0x01, sim::ResponsePackets(1, kStartOk)}, {0x03, sim::ResponsePackets(8, {36})}},
       {{0x01, {'0', '0'}}, {0x03, {}}},
       {},
       {13, 36, 0, 0}},
      {"error byte 130",
       kGetMode2Response,
       {},
       {{0x01, sim::ResponsePackets(1, kStartOk)}, {0x07, sim::ResponsePackets(8, {130, 0x99})}},
       {{0x01, {0x00, 0x00}}, {0x07, {0x02}}},
       {},
       {6, 130, 0, 0}},
      {"card error with its status word",
       kGetMode2Response,
       {},
       {{0x01, sim::ResponsePackets(1, kStartOk)},
        {0x07, sim::ResponsePackets(8, {129, 0x6A, 0x82})}},
       {{0x01, {0x00, 0x00}}, {0x07, {0x02}}},
       {},
       {11, 129, 0x6A, 0x82}},
      {"device time-out",
       kGetMode2Response,
       {},
       {{0x01, sim::ResponsePackets(1, kStartOk)}, {0x07, sim::ResponsePackets(6, {})}},
       {{0x01, {0x00, 0x00}}, {0x07, {0x02}}},
       {},
       {1, 0, 0, 0}},
      {"start refused stops the request",
       kCheckCard,
       {'0', '0'},
       {{0x01, sim::ResponsePackets(1, {0x00})}},
       {{0x01, {'0', '0'}}},
       {},
       {3, 0, 0, 0}},
      {"wrong response code",
       kDisplayResult,
       {0x01},
       {{0x08, sim::ResponsePackets(3, {})}},
       {{0x08, {0x01}}},
       {},
       {3, 0, 0, 0}},
      {"device event 07",
       kGetMode2Response,
       {},
       {{0x01, sim::ResponsePackets(1, kStartOk)}, {0x07, {sim::EventPacket(0x07)}}},
       {{0x01, {0x00, 0x00}}, {0x07, {0x02}}},
       {},
       {4, 0, 0, 0}},
  };
  for (const FlowCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto test = StartedDevice();
    for (const Script& s : c.scripts) test->firmware.Script(s.command, s.answer);
    const ControlResult result = Control(*test->device, c.code, c.input);
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.reply, c.reply);
    EXPECT_EQ(test->firmware.Commands(), c.sent);
    EXPECT_EQ(LastError(*test->device), c.record);
  }
}

TEST_F(VendorRequestTest, CodesNotServedAreRefused) {
  for (std::uint32_t code : {0x312024u, 0x222004u, 0x222028u, 0x312000u, 0x31202Cu, 0u}) {
    const ControlResult result = Control(code, {0x00, 0x00});
    EXPECT_EQ(result.status, STATUS_INVALID_PARAMETER) << std::hex << code;
    EXPECT_TRUE(result.reply.empty());
  }
  EXPECT_TRUE(Sent().empty());
}

TEST_F(VendorRequestTest, RecordIsClearedByTheNextRequestButNotByReadingIt) {
  Firmware().Script(0x02, 8, {200});
  Firmware().Script(0x02, 5, {0x00});
  Control(kCheckDevice);
  EXPECT_EQ(LastError(), (LastErrorRecord{2, 0, 0, 0}));
  EXPECT_EQ(LastError(), (LastErrorRecord{2, 0, 0, 0}));
  Control(kCheckDevice);
  EXPECT_EQ(LastError(), (LastErrorRecord{0, 0, 0, 0}));
}

TEST_F(VendorRequestTest, OpenCancelEventClearsTheRecord) {
  Control(kCheckCard, {'n'});
  EXPECT_EQ(LastError(), (LastErrorRecord{10, 25, 0, 0}));
  const ControlResult open = Control(kOpenCancelEvent);
  EXPECT_EQ(open.status, STATUS_SUCCESS);
  EXPECT_TRUE(open.reply.empty());
  EXPECT_EQ(LastError(), (LastErrorRecord{0, 0, 0, 0}));
  EXPECT_TRUE(Device().Reader().CancelWatcherRunning());
}

TEST_F(VendorRequestTest, ReplyLargerThanTheBufferFailsWithNothingReturned) {
  Firmware().Script(0x02, 5, {'0', '1', '.', '2', '0', 0x00});
  const ControlResult tooSmall = Control(kCheckDevice, {}, 11);
  EXPECT_EQ(tooSmall.status, STATUS_BUFFER_TOO_SMALL);
  EXPECT_TRUE(tooSmall.reply.empty());
  const ControlResult exact = Control(kCheckDevice, {}, 12);
  EXPECT_EQ(exact.status, STATUS_SUCCESS);
  EXPECT_EQ(exact.reply.size(), 12u);
  EXPECT_EQ(Control(kGetLastError, {}, 3).status, STATUS_BUFFER_TOO_SMALL);
}

TEST_F(VendorRequestTest, LongestDeviceAnswerFitsTheDocumentedBuffer) {
  Firmware().Script(0x02, 5, Repeat(256, 0x41));
  const ControlResult result = Control(kCheckDevice, {}, 262);
  EXPECT_EQ(result.status, STATUS_SUCCESS);
  EXPECT_EQ(result.reply.size(), 262u);
}

TEST_F(VendorRequestTest, FramingViolationMarksTheDeviceFailed) {
  std::uint32_t pnpState = 99;
  ASSERT_EQ(Device().QueryPnpDeviceState(&pnpState), STATUS_SUCCESS);
  EXPECT_EQ(pnpState, 0u);
  Firmware().Script(0x02, {Packet{0x05, 0x03, 0x05, 0x00, 0x00}});
  EXPECT_EQ(Control(kCheckDevice).status, STATUS_SUCCESS);
  EXPECT_EQ(LastError(), (LastErrorRecord{3, 0, 0, 0}));
  EXPECT_TRUE(Device().DeviceFailed());
  ASSERT_EQ(Device().QueryPnpDeviceState(&pnpState), STATUS_SUCCESS);
  EXPECT_EQ(pnpState, PNP_DEVICE_FAILED);
}

TEST_F(VendorRequestTest, OtherFailuresDoNotMarkTheDeviceFailed) {
  Firmware().Script(0x02, 8, {36});
  Control(kCheckDevice);
  EXPECT_FALSE(Device().DeviceFailed());
}

TEST_F(VendorRequestTest, SuccessfulStartRaisesAnAbsentCardAndCompletesTracking) {
  auto test = StartedDevice(0, /*card=*/false);
  CardState state{};
  ASSERT_EQ(test->device->GetCardState(&state), STATUS_SUCCESS);
  ASSERT_EQ(state, CardState::Absent);
  // Nothing pending for the tracker yet.
  EXPECT_EQ(test->device->TrackCard(0), STATUS_TIMEOUT);

  test->firmware.Script(0x01, 1, {0x01});
  test->firmware.Script(0x07, 3, {0x01});
  Control(*test->device, kGetMode2Response, {});
  ASSERT_EQ(test->device->GetCardState(&state), STATUS_SUCCESS);
  EXPECT_EQ(state, CardState::Present);
  EXPECT_EQ(test->device->TrackCard(0), STATUS_SUCCESS);
}

TEST_F(VendorRequestTest, RefusedStartLeavesTheCardAbsent) {
  auto test = StartedDevice(0, /*card=*/false);
  test->firmware.Script(0x01, 1, {0x00});
  Control(*test->device, kGetMode2Response, {});
  CardState state{};
  ASSERT_EQ(test->device->GetCardState(&state), STATUS_SUCCESS);
  EXPECT_EQ(state, CardState::Absent);
}

// A packet 01 03 06 is a device event unless the running command expects
// it: during command 0x07 it is the answer (response code 6), during 0x02
// it is passed over.
TEST_F(VendorRequestTest, Event6IsTheAnswerOnlyWhileACommandExpectsIt) {
  Firmware().Script(0x01, 1, {0x01});
  Firmware().Script(0x07, {sim::EventPacket(0x06)});
  Control(kGetMode2Response);
  EXPECT_EQ(LastError(), (LastErrorRecord{1, 0, 0, 0}));

  Packets late = {sim::EventPacket(0x06)};
  for (const Packet& p : sim::ResponsePackets(5, {0x31})) late.push_back(p);
  Firmware().Script(0x02, late);
  const ControlResult result = Control(kCheckDevice);
  EXPECT_EQ(LastError(), (LastErrorRecord{0, 0, 0, 0}));
  EXPECT_EQ(result.reply, (Bytes{0x31, '0', '1', '.', '2', '4', 0x00}));
}

TEST_F(VendorRequestTest, WriteFailureIsACommunicationError) {
  Main().edge->SetWriteStatus(STATUS_UNSUCCESSFUL);
  Control(kCheckDevice);
  EXPECT_EQ(LastError(), (LastErrorRecord{3, 0, 0, 0}));
}

}  // namespace
}  // namespace qvx::testing
