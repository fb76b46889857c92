// The socket backend against a socketpair peer, the backend choice by
// device name, and the reading of pcscd's USB device names.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>

#include "FunctionCompletion.h"
#include "RecordingCardEvents.h"
#include "Watchdog.h"
#include "device/DevicePackets.h"
#include "transport/SocketLowerEdge.h"
#include "transport/Transport.h"
#include "platform/posix/UniqueFd.h"
#include "transport/LowerEdgeFactory.h"
#include "transport/UsbLowerEdge.h"

namespace qvx::driver {
namespace {

using namespace std::chrono_literals;

struct InResult {
  NTSTATUS status;
  Packet packet;
};

class LowerEdgeTest : public ::testing::Test {
 protected:
  LowerEdgeTest() {
    int fds[2] = {-1, -1};
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
    m_peer.Reset(fds[1]);
    m_edge = std::make_unique<SocketLowerEdge>(fds[0]);
  }

  std::future<InResult> SubmitIn() {
    auto promise = std::make_shared<std::promise<InResult>>();
    EXPECT_EQ(
        m_edge->SubmitIn(qvx::testing::InFunction([promise](NTSTATUS status, const Packet& packet) {
          promise->set_value({status, packet});
        })),
        STATUS_SUCCESS);
    return promise->get_future();
  }

  NTSTATUS Write(const Packet& packet) {
    std::promise<NTSTATUS> done;
    const NTSTATUS submitted = m_edge->SubmitOut(
        packet, qvx::testing::OutFunction([&done](NTSTATUS status) { done.set_value(status); }));
    return NT_SUCCESS(submitted) ? done.get_future().get() : submitted;
  }

  Packet PeerReceive() {
    Packet packet{};
    EXPECT_EQ(::recv(m_peer.Get(), packet.data(), packet.size(), 0), 8);
    return packet;
  }

  testing::Watchdog m_watchdog;
  UniqueFd m_peer;
  std::unique_ptr<SocketLowerEdge> m_edge;
};

TEST_F(LowerEdgeTest, PacketsTravelBothWays) {
  ASSERT_EQ(Write(Abort(3)), STATUS_SUCCESS);
  ASSERT_EQ(Write(PowerOff()), STATUS_SUCCESS);
  EXPECT_EQ(PeerReceive(), Abort(3));
  EXPECT_EQ(PeerReceive(), PowerOff());

  // A packet sent before the IN transfer waits for it.
  const Packet status = qvx::sim::CardStatusPacket(true);
  ASSERT_EQ(::send(m_peer.Get(), status.data(), status.size(), 0), 8);
  std::future<InResult> in = SubmitIn();
  ASSERT_EQ(in.wait_for(5s), std::future_status::ready);
  const InResult result = in.get();
  EXPECT_EQ(result.status, STATUS_SUCCESS);
  EXPECT_EQ(result.packet, status);

  // A message that is not one packet fails the transfer, not the connection.
  ASSERT_EQ(::send(m_peer.Get(), "abc", 3, 0), 3);
  EXPECT_EQ(SubmitIn().get().status, STATUS_UNSUCCESSFUL);
  ASSERT_EQ(::send(m_peer.Get(), status.data(), status.size(), 0), 8);
  EXPECT_EQ(SubmitIn().get().status, STATUS_SUCCESS);
}

TEST_F(LowerEdgeTest, CancelledReadAndOneReadAtATime) {
  std::future<InResult> in = SubmitIn();
  EXPECT_EQ(m_edge->SubmitIn(qvx::testing::InFunction([](NTSTATUS, const Packet&) {})),
            STATUS_INVALID_DEVICE_STATE);
  m_edge->CancelIn();
  EXPECT_EQ(in.get().status, STATUS_CANCELLED);

  // The cancel does not stick to the next transfer.
  std::future<InResult> next = SubmitIn();
  const Packet packet = CommandHeader(0x02, 0);
  ASSERT_EQ(::send(m_peer.Get(), packet.data(), packet.size(), 0), 8);
  EXPECT_EQ(next.get().status, STATUS_SUCCESS);
}

TEST_F(LowerEdgeTest, PeerClosingIsTheDevicePulled) {
  std::future<InResult> in = SubmitIn();
  m_peer.Reset();
  EXPECT_EQ(in.get().status, STATUS_DEVICE_REMOVED);
  EXPECT_NE(m_edge->SubmitIn(qvx::testing::InFunction([](NTSTATUS, const Packet&) {})),
            STATUS_SUCCESS);
  EXPECT_EQ(Write(PowerOff()), STATUS_DEVICE_REMOVED);
}

TEST_F(LowerEdgeTest, AbortedPipesEndTheReadAndRefuseMore) {
  std::future<InResult> in = SubmitIn();
  m_edge->AbortPipes();
  EXPECT_EQ(in.get().status, STATUS_CANCELLED);
  EXPECT_NE(m_edge->SubmitOut(PowerOff(), qvx::testing::OutFunction([](NTSTATUS) {})),
            STATUS_SUCCESS);
}

TEST_F(LowerEdgeTest, TransportOverTheSocket) {
  qvx::testing::RecordingCardEvents events;
  CTransport transport(KOwned<ILowerEdge>(m_edge.release()), events);
  ASSERT_EQ(transport.Configure(), STATUS_SUCCESS);
  EXPECT_EQ(transport.Descriptors().vendorId, kTestVendorId);
  transport.ClearFlags();

  auto device = std::async(std::launch::async, [this] {
    const Packet header = PeerReceive();
    const Packet data = PeerReceive();
    for (const Packet& packet : qvx::sim::ResponsePackets(0x04, {data[3], data[2]})) {
      ::send(m_peer.Get(), packet.data(), packet.size(), 0);
    }
    return header;
  });
  ASSERT_EQ(transport.ArmReadPump(), STATUS_SUCCESS);
  Response response;
  ASSERT_EQ(transport.SendRequest(0x03, {0xAB, 0xCD}, response), STATUS_SUCCESS);
  EXPECT_EQ(device.get(), CommandHeader(0x03, 2));
  EXPECT_EQ(response.code, 0x04);
  EXPECT_EQ(std::vector<std::uint8_t>(response.data.begin(), response.data.end()),
            (std::vector<std::uint8_t>{0xCD, 0xAB}));

  // Pulling the device mid-exchange ends the request and marks the card gone.
  auto pulled = std::async(std::launch::async, [this] {
    PeerReceive();
    m_peer.Reset();
  });
  EXPECT_EQ(transport.SendRequest(0x02, nullptr, 0, response), QVX_STATUS_READ_FAILED);
  pulled.get();
  EXPECT_EQ(events.Calls(), std::vector<std::string>{"read failed"});
}

TEST(LowerEdgeFactoryTest, DeviceNameChoosesTheBackend) {
  EXPECT_EQ(OpenLowerEdge("serial:/dev/ttyS0"), nullptr);
  EXPECT_EQ(OpenLowerEdge("sim:/nonexistent/qvxsim.sock"), nullptr);
  EXPECT_EQ(OpenLowerEdge("sim:" + std::string(200, 'x')), nullptr);
  EXPECT_EQ(OpenLowerEdge("usb:ffff/fffe"), nullptr);
}

TEST(LowerEdgeFactoryTest, UsbDeviceNamesAreRead) {
  struct Case {
    const char* name;
    bool ok;
    std::uint16_t vendor;
    std::uint16_t product;
    int bus;
    int address;
    int interfaceNumber;
  };
  const Case cases[] = {
      {"usb:1209/0001:libudev:0:/dev/bus/usb/003/017", true, 0x1209, 0x0001, 3, 17, 0},
      {"usb:1209/0001:libudev:2:/dev/bus/usb/003/017", true, 0x1209, 0x0001, 3, 17, 2},
      {"usb:1209/0001:libusb-1.0:2:5:0", true, 0x1209, 0x0001, 2, 5, 0},
      {"usb:1209/0001:libusb-1.0:2:5:1", true, 0x1209, 0x0001, 2, 5, 1},
      {"usb:1209/0001", true, 0x1209, 0x0001, -1, -1, -1},
      {"usb:1209/0001:libudev:0:/dev/bus/usb/x/017", true, 0x1209, 0x0001, -1, -1, 0},
      {"usb:1209/0001:libudev:x:/dev/bus/usb/003/017", true, 0x1209, 0x0001, 3, 17, -1},
      {"usb:1209/0001:libudev:256:/dev/bus/usb/003/017", true, 0x1209, 0x0001, 3, 17, -1},
      {"usb:12345/0001", false, 0, 0, -1, -1, -1},
      {"usb:1209", false, 0, 0, -1, -1, -1},
      {"usb:zz09/0001", false, 0, 0, -1, -1, -1},
      {"sim:/tmp/x", false, 0, 0, -1, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UsbDeviceAddress address;
    ASSERT_EQ(ParseUsbDeviceName(c.name, address), c.ok);
    EXPECT_EQ(address.vendorId, c.vendor);
    EXPECT_EQ(address.productId, c.product);
    EXPECT_EQ(address.bus, c.bus);
    EXPECT_EQ(address.address, c.address);
    EXPECT_EQ(address.interfaceNumber, c.interfaceNumber);
  }
}

}  // namespace
}  // namespace qvx::driver
