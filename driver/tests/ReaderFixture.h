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
#include "device/ChannelDevice.h"
#include "device/DevicePackets.h"
#include "device/UnitBitmap.h"
#include "reader/LastErrorRecord.h"

namespace qvx::testing {

// What the device sends, and the reader-control packets the driver must
// write, come from the simulator's codec (sim::CardStatusPacket and the
// like).
namespace wire = qvx::sim::wire;

// One device: firmware, the device over its edge.
struct TestDevice {
  ScriptedFirmware firmware;
  ScriptedEdge* edge = nullptr;  // owned by the device's transport
  std::unique_ptr<qvx::driver::CDevice> device;
};

class ReaderFixture : public ::testing::Test {
 protected:
  using NTSTATUS = qvx::driver::NTSTATUS;

  // A device, added but not started; edge settings before Start().
  std::unique_ptr<TestDevice> AddDevice(std::uint32_t readerIndex = 0,
                                        const qvx::driver::DeviceNameStrings& strings = {},
                                        qvx::driver::IDeviceFailure* failureReport = nullptr) {
    auto test = std::make_unique<TestDevice>();
    auto edge = std::make_unique<ScriptedEdge>();
    test->firmware.Attach(*edge);
    edge->SetStrings(strings);
    test->edge = edge.get();
    qvx::driver::CDevice::Options options;
    options.units = &m_units;
    options.writeRoundMs = 200;
    options.failureReport = failureReport;
    test->device = qvx::driver::AddChannelDevice(std::move(edge), readerIndex, options);
    return test;
  }

  std::unique_ptr<TestDevice> StartedDevice(std::uint32_t readerIndex = 0, bool card = true,
                                            const qvx::driver::DeviceNameStrings& strings = {}) {
    auto test = AddDevice(readerIndex, strings);
    test->firmware.SetCardInserted(card);
    EXPECT_EQ(test->device->Start(), qvx::driver::STATUS_SUCCESS);
    return test;
  }

  // The main device of most tests.
  TestDevice& Main() {
    if (!m_main) m_main = StartedDevice();
    return *m_main;
  }
  ScriptedFirmware& Firmware() { return Main().firmware; }
  qvx::driver::CDevice& Device() { return *Main().device; }

  struct ControlResult {
    NTSTATUS status = 0;
    Bytes reply;
  };
  static ControlResult Control(qvx::driver::CDevice& device, std::uint32_t code, const Bytes& input,
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
  static qvx::driver::LastErrorRecord LastError(qvx::driver::CDevice& device) {
    const ControlResult r = Control(device, 0x312028, {}, 4);
    EXPECT_EQ(r.status, qvx::driver::STATUS_SUCCESS);
    qvx::driver::LastErrorRecord record{};
    for (std::size_t i = 0; i < r.reply.size() && i < 4; ++i) record[i] = r.reply[i];
    EXPECT_EQ(r.reply.size(), 4u);
    return record;
  }
  qvx::driver::LastErrorRecord LastError() { return LastError(Device()); }

  // Commands the device got, without the card-status traffic of the start.
  std::vector<ReceivedCommand> Sent() { return Firmware().Commands(); }

  qvx::testing::PrivateDir m_temp{"qvxrdr"};
  qvx::testing::ScopedEnv m_objects{"QVX_OBJECT_DIR", m_temp / "objects"};
  qvx::driver::CUnitBitmap m_units;
  std::unique_ptr<TestDevice> m_main;
};

}  // namespace qvx::testing
