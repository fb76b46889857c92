// A started device over a scripted Quorvex2, in a private object namespace
// (the cancel events are machine-wide named objects).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "PrivateDir.h"
#include "ScopedEnv.h"
#include "ScriptedEdge.h"
#include "ScriptedFirmware.h"
#include "device/Device.h"
#include "device/Packet.h"
#include "device/UnitBitmap.h"
#include "reader/LastErrorRecord.h"

namespace qvxrdr_test {

using qvx::testing::AtrPackets;
using qvx::testing::Bytes;
using qvx::testing::Packets;
using qvx::testing::ReceivedCommand;
using qvx::testing::ScriptedEdge;
using qvx::testing::ScriptedFirmware;
using qvxrdr::Packet;
// What the device sends, and the reader-control packets the driver must
// write, come from the simulator's codec.
using qvx::sim::CardStatusPacket;
using qvx::sim::EventPacket;
using qvx::sim::ReaderControlPacket;
using qvx::sim::ResponsePackets;
namespace wire = qvx::sim::wire;

// One device: firmware, the device over its edge.
struct TestDevice {
  ScriptedFirmware firmware;
  ScriptedEdge* edge = nullptr;  // owned by the device's transport
  std::unique_ptr<qvxrdr::CDevice> device;
};

class ReaderFixture : public ::testing::Test {
 protected:
  using NTSTATUS = qvxrdr::NTSTATUS;

  // A device, added but not started; edge settings before Start().
  std::unique_ptr<TestDevice> AddDevice(std::uint32_t readerIndex = 0,
                                        const qvxrdr::DeviceNameStrings& strings = {}) {
    auto test = std::make_unique<TestDevice>();
    auto edge = std::make_unique<ScriptedEdge>();
    test->firmware.Attach(*edge);
    edge->SetStrings(strings);
    test->edge = edge.get();
    qvxrdr::CDevice::Options options;
    options.units = &units_;
    options.writeRound = std::chrono::milliseconds(200);
    test->device = qvxrdr::CDevice::Add(std::move(edge), readerIndex, options);
    return test;
  }

  std::unique_ptr<TestDevice> StartedDevice(std::uint32_t readerIndex = 0, bool card = true,
                                            const qvxrdr::DeviceNameStrings& strings = {}) {
    auto test = AddDevice(readerIndex, strings);
    test->firmware.SetCardInserted(card);
    EXPECT_EQ(test->device->Start(), qvxrdr::STATUS_SUCCESS);
    return test;
  }

  // The main device of most tests.
  TestDevice& Main() {
    if (!main_) main_ = StartedDevice();
    return *main_;
  }
  ScriptedFirmware& Firmware() { return Main().firmware; }
  qvxrdr::CDevice& Device() { return *Main().device; }

  struct ControlResult {
    NTSTATUS status = 0;
    Bytes reply;
  };
  static ControlResult Control(qvxrdr::CDevice& device, std::uint32_t code, const Bytes& input,
                               std::size_t capacity = 262) {
    ControlResult result;
    std::vector<std::uint8_t> out(capacity + 1, 0xEE);
    std::size_t returned = 99;
    result.status =
        device.DeviceControl(code, input.data(), input.size(), out.data(), capacity, &returned);
    if (returned > capacity) ADD_FAILURE() << "returned more than the capacity";
    result.reply.assign(out.begin(),
                        out.begin() + static_cast<std::ptrdiff_t>(std::min(returned, capacity)));
    return result;
  }
  ControlResult Control(std::uint32_t code, const Bytes& input = {}, std::size_t capacity = 262) {
    return Control(Device(), code, input, capacity);
  }
  static qvxrdr::LastErrorRecord LastError(qvxrdr::CDevice& device) {
    const ControlResult r = Control(device, 0x312028, {}, 4);
    EXPECT_EQ(r.status, qvxrdr::STATUS_SUCCESS);
    qvxrdr::LastErrorRecord record{};
    for (std::size_t i = 0; i < r.reply.size() && i < 4; ++i) record[i] = r.reply[i];
    EXPECT_EQ(r.reply.size(), 4u);
    return record;
  }
  qvxrdr::LastErrorRecord LastError() { return LastError(Device()); }

  // Commands the device got, without the card-status traffic of the start.
  std::vector<ReceivedCommand> Sent() { return Firmware().Commands(); }

  qvx::testing::PrivateDir temp_{"qvxrdr"};
  qvx::testing::ScopedEnv objects_{"QVX_OBJECT_DIR", temp_ / "objects"};
  qvxrdr::CUnitBitmap units_;
  std::unique_ptr<TestDevice> main_;
};

}  // namespace qvxrdr_test
