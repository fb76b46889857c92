// The transport against a scripted device: framing of requests and
// responses, the read pump, writes, aborts and stopping.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <numeric>

#include "DebugCapture.h"
#include "RecordingCardEvents.h"
#include "ScriptedEdge.h"
#include "Watchdog.h"
#include "device/DevicePackets.h"
#include "transport/PacketList.h"
#include "transport/Transport.h"

namespace qvx::driver {
namespace {

using namespace std::chrono_literals;
using qvx::testing::DebugCapture;
using qvx::testing::ScriptedEdge;
// What the device sends is built with the simulator's codec (sim::); what
// the host writes is expected as the driver's codec builds it.
namespace sim = qvx::sim;

std::vector<std::uint8_t> Bytes(std::size_t length, std::uint8_t first = 0x10) {
  std::vector<std::uint8_t> bytes(length);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

std::vector<std::uint8_t> Bytes(const ResponseData& data) {
  return std::vector<std::uint8_t>(data.begin(), data.end());
}

class TransportTest : public ::testing::Test {
 protected:
  TransportTest() { Make(CTransport::kWriteRoundMs); }

  void Make(std::uint32_t writeRoundMs) {
    m_transport.reset();
    auto edge = std::make_unique<ScriptedEdge>();
    m_edge = edge.get();
    m_transport =
        std::make_unique<CTransport>(KOwned<ILowerEdge>(edge.release()), m_events, writeRoundMs);
  }

  void Start() {
    ASSERT_EQ(m_transport->Configure(), STATUS_SUCCESS);
    m_transport->ClearFlags();
    ASSERT_EQ(m_transport->ArmReadPump(), STATUS_SUCCESS);
  }

  // The device sends these packets once it has received `after` packets.
  void ReplyAfter(std::size_t after, std::vector<Packet> packets) {
    auto seen = std::make_shared<std::atomic<std::size_t>>(0);
    m_edge->OnWrite([this, after, seen, packets](const Packet&) {
      if (++*seen == after) {
        m_edge->Send(packets);
      }
    });
  }

  testing::Watchdog m_watchdog;  // first: outlives everything that could hang
  DebugCapture m_debug;
  qvx::testing::RecordingCardEvents m_events;
  ScriptedEdge* m_edge = nullptr;
  std::unique_ptr<CTransport> m_transport;
};

TEST_F(TransportTest, ConfigureNeedsEightBytePipes) {
  struct Case {
    std::vector<EndpointInfo> endpoints;
    NTSTATUS expected;
  };
  const Case cases[] = {{{{0x81, 8}, {0x02, 8}}, STATUS_SUCCESS},
                        {{{0x81, 16}, {0x02, 8}}, STATUS_UNSUCCESSFUL},
                        {{{0x81, 8}, {0x02, 64}}, STATUS_UNSUCCESSFUL},
                        {{{0x02, 8}}, STATUS_UNSUCCESSFUL}};
  for (const Case& c : cases) {
    Make(CTransport::kWriteRoundMs);
    m_edge->SetEndpoints(c.endpoints);
    EXPECT_EQ(m_transport->Configure(), c.expected);
    if (c.expected != STATUS_SUCCESS) {
      EXPECT_EQ(m_transport->WritePacket(PowerOff()), STATUS_INVALID_DEVICE_STATE);
      EXPECT_TRUE(m_edge->Written().empty());
    }
  }
}

TEST_F(TransportTest, RequestIsAHeaderAndDataPacketsAndTheResponseIsReassembled) {
  for (std::size_t length : {std::size_t{13}, std::size_t{0}}) {
    SCOPED_TRACE(length);
    Make(CTransport::kWriteRoundMs);
    Start();
    const std::vector<std::uint8_t> request = Bytes(length);
    const std::vector<std::uint8_t> answer = Bytes(13, 0x80);
    const std::size_t packetsOut = 1 + (length + 5) / 6;
    ReplyAfter(packetsOut, sim::ResponsePackets(0x02, answer));

    Response response;
    ASSERT_EQ(m_transport->SendRequest(0x05, request, response), STATUS_SUCCESS);
    EXPECT_EQ(response.code, 0x02);
    EXPECT_EQ(response.length, 13);
    EXPECT_EQ(Bytes(response.data), answer);

    std::vector<Packet> expected{CommandHeader(0x05, static_cast<std::uint16_t>(length))};
    for (const Packet& packet : DataPackets(request.data(), request.size())) {
      expected.push_back(packet);
    }
    EXPECT_EQ(m_edge->Written(), expected);
  }
}

TEST_F(TransportTest, ResponseStoresOnlyTheAnnouncedBytes) {
  Start();
  std::vector<Packet> answer{sim::ResponseHeader(0x03, 7)};
  for (const Packet& packet : sim::DataPackets(Bytes(12))) answer.push_back(packet);
  ReplyAfter(1, answer);
  Response response;
  ASSERT_EQ(m_transport->SendRequest(0x06, nullptr, 0, response), STATUS_SUCCESS);
  EXPECT_EQ(Bytes(response.data), Bytes(7));
}

TEST_F(TransportTest, EmptyResponseReadsNoDataPacket) {
  DebugCapture debug;
  Start();
  const Packet next = sim::DataPackets(Bytes(2)).front();
  ReplyAfter(1, {sim::ResponseHeader(0x05, 0), next});
  Response response;
  ASSERT_EQ(m_transport->SendRequest(0x02, nullptr, 0, response), STATUS_SUCCESS);
  EXPECT_EQ(response.code, 0x05);
  EXPECT_TRUE(response.data.empty());
  // What follows is no part of this answer: dropped, never kept for the
  // next request to take as its own.
  EXPECT_TRUE(debug.WaitForLine("Meridel: dropped", "00 02 10 11"));
}

// The rules that keep the conversation in step across an abort.
TEST_F(TransportTest, AnAbortSticksToItsOperationAndIsFencedOff) {
  DebugCapture debug;
  Start();
  m_edge->OnWrite([this](const Packet& packet) {
    if (packet[0] == 0x01 && packet[2] == 0x04) m_edge->Send(sim::ResponseHeader(0x02, 0));
    // The device answers check device in any state: the fence.
    if (packet[0] == 0x01 && packet[2] == 0x02) {
      m_edge->Send(sim::ResponsePackets(0x05, {'0', '1', '.', '2', '0', 0}));
    }
  });
  m_transport->BeginOperation();
  Response response;
  ASSERT_EQ(m_transport->SendRequest(0x04, nullptr, 0, response), STATUS_SUCCESS);
  // The abort comes between two commands of the operation; this device was
  // idle and sends nothing for it.
  ASSERT_EQ(m_transport->WriteAbort(7), STATUS_SUCCESS);
  EXPECT_EQ(m_transport->SendRequest(0x05, Bytes(3).data(), 3, response), QVX_STATUS_EVENT_0B);
  EXPECT_EQ(m_edge->Written().back(), Abort(7)) << "nothing is sent after the abort";
  m_transport->EndOperation();
  EXPECT_EQ(m_edge->Written().back(), CommandHeader(0x02, 0)) << "the fence";
  EXPECT_FALSE(m_transport->OutOfStep());

  // A late 01 03 0B between operations is nobody's: the next operation
  // neither sees it nor needs a fence.
  m_edge->Send(sim::EventPacket(sim::wire::kEventAborted));
  EXPECT_TRUE(debug.WaitForLine("Meridel: dropped answered abort", "01 03 0b"));
  const std::size_t before = m_edge->Written().size();
  m_transport->BeginOperation();
  ASSERT_EQ(m_transport->SendRequest(0x04, nullptr, 0, response), STATUS_SUCCESS);
  EXPECT_EQ(response.code, 0x02);
  m_transport->EndOperation();
  EXPECT_EQ(m_edge->Written().size(), before + 1);
}

TEST_F(TransportTest, FenceDiscardsWhatTheDeviceStillOwed) {
  Start();
  // This device still owes an answer when the fence goes out: it comes
  // first and is discarded.
  m_edge->OnWrite([this](const Packet& packet) {
    if (packet[0] == 0x01 && packet[2] == 0x07) m_edge->Send(sim::ResponseHeader(0x03, 0));
    if (packet[0] == 0x01 && packet[2] == 0x02) {
      m_edge->Send(sim::ResponseHeader(0x03, 0));
      m_edge->Send(sim::ResponsePackets(0x05, {'0', '1', 0}));
    }
  });
  m_transport->BeginOperation();
  Response response;
  ASSERT_EQ(m_transport->SendRequest(0x07, nullptr, 0, response), STATUS_SUCCESS);
  m_transport->MarkOutOfStep();
  m_transport->EndOperation();
  EXPECT_FALSE(m_transport->OutOfStep());
  EXPECT_EQ(m_transport->Resync(), STATUS_SUCCESS) << "and again, on a quiet device";

  // A device that never answers the fence leaves the transport out of step,
  // and the next operation tries again before it starts.
  m_edge->OnWrite([](const Packet&) {});
  EXPECT_EQ(m_transport->Resync(), STATUS_IO_TIMEOUT);
  EXPECT_TRUE(m_transport->OutOfStep());
}

TEST_F(TransportTest, FramingViolationsFailWithTheirDebugLine) {
  struct Case {
    const char* name;
    std::vector<Packet> device;
    std::string line;
  };
  const Case cases[] = {
      {"data instead of header", sim::DataPackets({0x02}),
       "Meridel: !!ERROR: Invalid command from reader: 00 01 02 00  00 00 00 00"},
      {"257 announced",
       {sim::ResponseHeader(0x02, 257)},
       "Meridel: !!ERROR: Invalid command from reader: 01 03 02 01  01 00 00 00"},
      {"count 0",
       {sim::ResponseHeader(0x02, 3), {0x00, 0x00, 0xAA}},
       "Meridel: !!ERROR: Invalid data from reader: 00 00 aa 00  00 00 00 00"},
      {"count 7",
       {sim::ResponseHeader(0x02, 9), {0x00, 0x07, 1, 2, 3, 4, 5, 6}},
       "Meridel: !!ERROR: Invalid data from reader: 00 07 01 02  03 04 05 06"},
      {"header among data",
       {sim::ResponseHeader(0x02, 9), sim::DataPackets(Bytes(6)).front(),
        sim::ResponseHeader(0x02, 3)},
       "Meridel: !!ERROR: Invalid data from reader: 01 03 02 03  00 00 00 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Make(CTransport::kWriteRoundMs);
    Start();
    ReplyAfter(1, c.device);
    Response response;
    EXPECT_EQ(m_transport->SendRequest(0x04, nullptr, 0, response), QVX_STATUS_FRAMING);
    EXPECT_EQ(response.length, 0);
    EXPECT_TRUE(response.data.empty());
    EXPECT_EQ(m_debug.Count(c.line), 1u);
  }
}

TEST_F(TransportTest, PumpHandlesDeviceEventsBeforeTheResponse) {
  const Packet response = sim::ResponseHeader(0x02, 0);
  struct Case {
    const char* name;
    std::vector<Packet> device;
    bool ignoreEvent6;
    NTSTATUS status;
    std::uint8_t code;
  };
  const Case cases[] = {
      {"0B ends the read", {sim::EventPacket(0x0B)}, true, QVX_STATUS_EVENT_0B, 0},
      {"07 ends the read", {sim::EventPacket(0x07)}, true, QVX_STATUS_EVENT_07, 0},
      {"0A is skipped", {sim::EventPacket(0x0A), response}, true, STATUS_SUCCESS, 0x02},
      {"06 skipped while ignored", {sim::EventPacket(0x06), response}, true, STATUS_SUCCESS, 0x02},
      {"06 is the response when expected",
       {sim::EventPacket(0x06), response},
       false,
       STATUS_SUCCESS,
       0x06},
      {"card status is skipped",
       {sim::CardStatusPacket(true), response},
       true,
       STATUS_SUCCESS,
       0x02},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Make(CTransport::kWriteRoundMs);
    Start();
    EXPECT_TRUE(m_transport->SetIgnoreEvent6(c.ignoreEvent6)) << "set by default";
    ReplyAfter(1, c.device);
    Response result;
    EXPECT_EQ(m_transport->SendRequest(0x07, nullptr, 0, result), c.status);
    EXPECT_EQ(result.code, c.code);
  }
}

TEST_F(TransportTest, CardStatusIsReportedThenSignalled) {
  Start();
  m_transport->CardStatusEvent().Clear();
  m_edge->Send(sim::CardStatusPacket(true));
  ASSERT_EQ(m_transport->CardStatusEvent().Wait(5000), STATUS_SUCCESS);
  EXPECT_TRUE(m_transport->CardPresent());
  EXPECT_EQ(m_events.Calls(), (std::vector<std::string>{"inserted"}));

  // Removal is reported even when the reader layer already has the card absent;
  // it decides what changes. An unknown state byte only signals.
  for (const Packet& status :
       {sim::CardStatusPacket(false), sim::CardStatusPacket(false), Packet{0x02, 0x81, 0x05}}) {
    m_transport->CardStatusEvent().Clear();
    m_edge->Send(status);
    ASSERT_EQ(m_transport->CardStatusEvent().Wait(5000), STATUS_SUCCESS);
  }
  EXPECT_FALSE(m_transport->CardPresent());
  EXPECT_EQ(m_events.Calls(), (std::vector<std::string>{"inserted", "removed", "removed"}));
  EXPECT_TRUE(m_edge->WaitFor([this] { return m_edge->InOutstandingLocked(); })) << "pump re-armed";
}

TEST_F(TransportTest, FailedTransfersEndTheExchange) {
  // IN failure: the pump ends, the card is gone, later reads fail at once.
  Start();
  m_edge->OnWrite([this](const Packet&) { m_edge->FailIn(STATUS_DEVICE_REMOVED); });
  Response response;
  EXPECT_EQ(m_transport->SendRequest(0x02, nullptr, 0, response), QVX_STATUS_READ_FAILED);
  EXPECT_TRUE(m_transport->IsReadFailed());
  EXPECT_EQ(m_events.Calls(), (std::vector<std::string>{"read failed"}));
  EXPECT_EQ(m_transport->ArmReadPump(), STATUS_INVALID_DEVICE_STATE);
  Packet packet{};
  EXPECT_EQ(m_transport->ReadPacket(packet), QVX_STATUS_READ_FAILED);

  // OUT failure.
  Make(CTransport::kWriteRoundMs);
  Start();
  m_edge->SetWriteStatus(STATUS_UNSUCCESSFUL);
  EXPECT_EQ(m_transport->SendRequest(0x02, Bytes(60), response), QVX_STATUS_WRITE_FAILED);
  // The packets already in flight when the failure came back are all the
  // request sends.
  EXPECT_LE(m_edge->Written().size(), CTransport::kOutWindow)
      << "nothing once the failure is known";

  // The IN transfer cannot even be passed down: a reader must not wait forever.
  Make(CTransport::kWriteRoundMs);
  ASSERT_EQ(m_transport->Configure(), STATUS_SUCCESS);
  m_edge->FailSubmitIn(STATUS_DEVICE_REMOVED);
  EXPECT_EQ(m_transport->ArmReadPump(), STATUS_INVALID_DEVICE_STATE);
  EXPECT_EQ(m_transport->ReadPacket(packet), QVX_STATUS_READ_FAILED);
}

TEST_F(TransportTest, StalledWriteReportsEachRoundAndKeepsWaiting) {
  Make(20);
  Start();
  m_edge->HoldWrites(true);
  auto write = std::async(std::launch::async,
                          [this] { return m_transport->WritePacket(CardStatusQuery()); });
  const std::string line = "Meridel: STATUS_TIMEOUT, data block: 02 09 00 00  00 00 00 00";
  ASSERT_TRUE(m_debug.WaitForCount(line, 3));
  EXPECT_EQ(write.wait_for(0ms), std::future_status::timeout);
  m_edge->HoldWrites(false);
  EXPECT_EQ(write.get(), STATUS_SUCCESS);
}

TEST_F(TransportTest, AbortStopsTheDataPacketsButTheResponseIsRead) {
  Start();
  m_edge->OnWrite([this](const Packet& packet) {
    if (IsAbort(packet)) {
      m_edge->Send(sim::ResponseHeader(0x03, 0));
    }
  });
  m_edge->HoldWrites(true);
  Response response;
  auto request = std::async(std::launch::async,
                            [&] { return m_transport->SendRequest(0x08, Bytes(60), response); });
  // The request's packets are out together, up to the window, and no more
  // while none comes back.
  ASSERT_TRUE(
      m_edge->WaitFor([this] { return m_edge->WrittenCountLocked() == CTransport::kOutWindow; }));
  // The gate is free while the request waits for its window: the abort
  // goes out behind the packets in flight, not behind the whole request.
  auto abort = std::async(std::launch::async, [this] { return m_transport->WriteAbort(0x21); });
  ASSERT_TRUE(m_edge->WaitFor(
      [this] { return m_edge->WrittenCountLocked() == CTransport::kOutWindow + 1; }));
  m_edge->HoldWrites(false);
  EXPECT_EQ(abort.get(), STATUS_SUCCESS);
  ASSERT_EQ(request.get(), STATUS_SUCCESS);
  EXPECT_EQ(response.code, 0x03);

  const std::vector<Packet> written = m_edge->Written();
  const auto abortAt = std::find(written.begin(), written.end(), Abort(0x21));
  ASSERT_NE(abortAt, written.end());
  EXPECT_EQ(abortAt + 1, written.end()) << "no data packet after the abort";
  EXPECT_EQ(written.size(), CTransport::kOutWindow + 1);
  EXPECT_TRUE(m_transport->AbortFlag());
}

TEST_F(TransportTest, StopEndsAWaitingReadAndLaterReads) {
  Start();
  Packet packet{};
  auto read = std::async(std::launch::async, [&] { return m_transport->ReadPacket(packet); });
  ASSERT_TRUE(m_edge->WaitFor([this] { return m_edge->InOutstandingLocked(); }));
  m_transport->StopReadPump();
  EXPECT_EQ(read.get(), QVX_STATUS_READ_FAILED);
  EXPECT_TRUE(m_transport->IsPumpStopped());
  EXPECT_TRUE(m_events.Calls().empty()) << "a cancelled read is no card removal";
  EXPECT_EQ(m_transport->ArmReadPump(), STATUS_INVALID_DEVICE_STATE);
  EXPECT_EQ(m_transport->ReadPacket(packet), QVX_STATUS_READ_FAILED);
}

TEST_F(TransportTest, StopWithNoTransferOutKeepsTheWaitingPacketThenFails) {
  Start();
  CTransport::Expecting expecting(*m_transport, false);
  const Packet pending = sim::ResponseHeader(0x02, 0);
  m_edge->Send(pending);
  ASSERT_TRUE(m_edge->WaitFor([this] { return !m_edge->InOutstandingLocked(); }));
  m_transport->StopReadPump();
  Packet packet{};
  ASSERT_EQ(m_transport->ReadPacket(packet), STATUS_SUCCESS);
  EXPECT_EQ(packet, pending);
  EXPECT_EQ(m_transport->ReadPacket(packet), QVX_STATUS_READ_FAILED);
}

TEST_F(TransportTest, CardStatusQueryAfterRestart) {
  Start();
  m_transport->StopReadPump();
  m_transport->ClearFlags();  // start / power-up
  ReplyAfter(1, {sim::CardStatusPacket(true)});
  EXPECT_EQ(m_transport->CardStatusQuery(), STATUS_SUCCESS);
  EXPECT_EQ(m_edge->Written(), std::vector<Packet>{CardStatusQuery()});
  EXPECT_TRUE(m_transport->CardPresent());

  // An answer left over from before the power-down does not hold it up.
  m_transport->StopReadPump();
  m_transport->ClearFlags();
  ReplyAfter(1, {sim::ResponseHeader(0x03, 0), sim::CardStatusPacket(false)});
  EXPECT_EQ(m_transport->CardStatusQuery(), STATUS_SUCCESS);
  EXPECT_FALSE(m_transport->CardPresent());

  // A pump that fails instead of answering ends the query too.
  m_edge->OnWrite([this](const Packet&) { m_edge->FailIn(STATUS_UNSUCCESSFUL); });
  EXPECT_EQ(m_transport->CardStatusQuery(), QVX_STATUS_READ_FAILED);
}

TEST_F(TransportTest, DestroyedWithAReadOutstanding) {
  Start();
  ASSERT_TRUE(m_edge->WaitFor([this] { return m_edge->InOutstandingLocked(); }));
  m_transport.reset();
  EXPECT_TRUE(m_events.Calls().empty());
}

}  // namespace
}  // namespace qvx::driver
