// The driver's scripted edge and firmware hold to the lower edge's contract
// (LowerEdge.h): a fake that drifts from it would let driver faults pass.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "FunctionCompletion.h"
#include "ScriptedEdge.h"
#include "ScriptedFirmware.h"
#include "device/DevicePackets.h"

namespace qvx::testing {
namespace {

using namespace qvx::driver;

struct InResult {
  NTSTATUS status;
  Packet packet;
  std::thread::id thread;
};

std::future<InResult> SubmitIn(ScriptedEdge& edge) {
  auto promise = std::make_shared<std::promise<InResult>>();
  EXPECT_EQ(
      edge.SubmitIn(qvx::testing::InFunction([promise](NTSTATUS status, const Packet& packet) {
        promise->set_value({status, packet, std::this_thread::get_id()});
      })),
      STATUS_SUCCESS);
  return promise->get_future();
}

std::future<NTSTATUS> SubmitOut(ScriptedEdge& edge, const Packet& packet) {
  auto promise = std::make_shared<std::promise<NTSTATUS>>();
  EXPECT_EQ(edge.SubmitOut(packet, qvx::testing::OutFunction(
                                       [promise](NTSTATUS status) { promise->set_value(status); })),
            STATUS_SUCCESS);
  return promise->get_future();
}

// The device's packets, one IN transfer each, in order.
Packets ReadAll(ScriptedEdge& edge, std::size_t count) {
  Packets packets;
  for (std::size_t i = 0; i < count; ++i) {
    const InResult in = SubmitIn(edge).get();
    EXPECT_EQ(in.status, STATUS_SUCCESS);
    EXPECT_NE(in.thread, std::this_thread::get_id()) << "completions run on the edge's thread";
    packets.push_back(in.packet);
  }
  return packets;
}

void Write(ScriptedEdge& edge, const Packets& packets) {
  for (const Packet& packet : packets) EXPECT_EQ(SubmitOut(edge, packet).get(), STATUS_SUCCESS);
}

TEST(ScriptedEdgeTest, OneInTransferAtATimeAndCancelEndsIt) {
  ScriptedEdge edge;
  std::future<InResult> first = SubmitIn(edge);
  EXPECT_EQ(edge.SubmitIn(qvx::testing::InFunction([](NTSTATUS, const Packet&) {})),
            STATUS_INVALID_DEVICE_STATE);
  edge.CancelIn();
  EXPECT_EQ(first.get().status, STATUS_CANCELLED);

  // A failure scripted between packets ends only its own transfer.
  edge.Send(sim::CardStatusPacket(true));
  edge.FailIn(STATUS_UNSUCCESSFUL);
  edge.Send(sim::CardStatusPacket(false));
  EXPECT_EQ(SubmitIn(edge).get().packet, sim::CardStatusPacket(true));
  EXPECT_EQ(SubmitIn(edge).get().status, STATUS_UNSUCCESSFUL);
  EXPECT_EQ(SubmitIn(edge).get().packet, sim::CardStatusPacket(false));

  // A pulled cable fails every transfer from then on.
  edge.FailAllIn(STATUS_DEVICE_REMOVED);
  edge.Send(sim::CardStatusPacket(true));
  EXPECT_EQ(SubmitIn(edge).get().status, STATUS_DEVICE_REMOVED);
  EXPECT_EQ(SubmitIn(edge).get().status, STATUS_DEVICE_REMOVED);
}

TEST(ScriptedEdgeTest, AbortAndDestructionEndWhatIsOutstanding) {
  auto edge = std::make_unique<ScriptedEdge>();
  std::future<InResult> in = SubmitIn(*edge);
  edge->AbortPipes();
  EXPECT_EQ(in.get().status, STATUS_CANCELLED);
  EXPECT_EQ(edge->SubmitIn(qvx::testing::InFunction([](NTSTATUS, const Packet&) {})),
            STATUS_INVALID_DEVICE_STATE);
  EXPECT_EQ(edge->SubmitOut(sim::ReaderControlPacket(sim::wire::kStatusQuery),
                            qvx::testing::OutFunction([](NTSTATUS) {})),
            STATUS_INVALID_DEVICE_STATE);

  edge = std::make_unique<ScriptedEdge>();
  bool closed = false;
  edge->OnClose([&closed] { closed = true; });
  in = SubmitIn(*edge);
  edge.reset();
  EXPECT_EQ(in.get().status, STATUS_CANCELLED);
  EXPECT_TRUE(closed);
}

TEST(ScriptedEdgeTest, HeldAndFailedWrites) {
  ScriptedEdge edge;
  ScriptedFirmware firmware;
  firmware.Attach(edge);
  edge.HoldWrites(true);
  std::future<NTSTATUS> held = SubmitOut(edge, sim::ReaderControlPacket(sim::wire::kStatusQuery));
  EXPECT_EQ(held.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  edge.HoldWrites(false);
  EXPECT_EQ(held.get(), STATUS_SUCCESS);
  // The device answered the query; its answer waits for the next IN.
  EXPECT_EQ(ReadAll(edge, 1), Packets{sim::CardStatusPacket(true)});

  // A failed write is recorded as written but never reaches the device.
  edge.SetWriteStatus(STATUS_UNSUCCESSFUL);
  EXPECT_EQ(SubmitOut(edge, sim::ReaderControlPacket(sim::wire::kStatusQuery)).get(),
            STATUS_UNSUCCESSFUL);
  EXPECT_EQ(edge.Written().size(), 2u);
  EXPECT_EQ(firmware.Written().size(), 1u);
}

TEST(ScriptedFirmwareTest, AnswersInTurnTheLastRepeating) {
  ScriptedEdge edge;
  ScriptedFirmware firmware;
  firmware.Attach(edge);
  firmware.Script(0x04, 0x02, {0xAA});
  firmware.Script(0x04, 0x03, {});
  const Bytes data{1, 2, 3, 4, 5, 6, 7};
  for (const sim::Bytes& expected : {sim::Bytes{0xAA}, sim::Bytes{}, sim::Bytes{}}) {
    Write(edge, sim::CommandPackets(0x04, data));
    const std::uint8_t code = expected.empty() ? 0x03 : 0x02;
    const Packets answer = sim::ResponsePackets(code, expected);
    EXPECT_EQ(ReadAll(edge, answer.size()), answer);
  }
  EXPECT_EQ(firmware.Commands(), (std::vector<ReceivedCommand>(3, ReceivedCommand{0x04, data})));

  // Unscripted: check device is answered in any state, anything else refused.
  Write(edge, sim::CommandPackets(0x02, {}));
  EXPECT_EQ(ReadAll(edge, 2), sim::ResponsePackets(0x05, {'0', '1', '.', '2', '0', 0x00}));
  Write(edge, sim::CommandPackets(0x09, {}));
  EXPECT_EQ(ReadAll(edge, 1), sim::ResponsePackets(0x07, {}));
}

TEST(ScriptedFirmwareTest, AnAbortEndsOnlyAnOperationUnderWay) {
  ScriptedEdge edge;
  ScriptedFirmware firmware;
  firmware.Attach(edge);
  Write(edge, {sim::AbortPacket(1)});  // idle: no answer
  firmware.Hold(0x07);
  Write(edge, sim::CommandPackets(0x07, {0x01}));
  ASSERT_TRUE(firmware.WaitForCommand(0x07));
  Write(edge, {sim::AbortPacket(2)});
  EXPECT_EQ(ReadAll(edge, 1), Packets{sim::EventPacket(sim::wire::kEventAborted)});
  EXPECT_EQ(firmware.Aborts(), (Packets{sim::AbortPacket(1), sim::AbortPacket(2)}));

  // The ATR goes out on either reset, in the chunks it was given.
  const Bytes atr{0x3B, 0x02, 0x14, 0x50};
  firmware.SetAtr(AtrPackets(atr, 3));
  Write(edge, {sim::ReaderControlPacket(sim::wire::kWarmReset)});
  EXPECT_EQ(ReadAll(edge, 2),
            (Packets{sim::DataPackets({0x3B, 0x02, 0x14})[0], sim::DataPackets({0x50})[0]}));
}

}  // namespace
}  // namespace qvx::testing
