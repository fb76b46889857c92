// Unit numbers, start, stop, removal, capabilities and power of a device.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "ReaderFixture.h"
#include "reader/ServedVendorCodes.h"

namespace qvx::testing {
namespace {

using namespace qvx::driver;
using namespace std::chrono_literals;

class DeviceLifecycleTest : public ReaderFixture {
 protected:
  static bool Wrote(ScriptedFirmware& firmware, const Packet& packet) {
    for (const Packet& p : firmware.Written()) {
      if (p == packet) return true;
    }
    return false;
  }

  // A GetMode2Response the device holds (command 0x07) until released.
  std::future<ControlResult> HeldMode2Request() {
    Firmware().Script(0x01, 1, {0x01});
    Firmware().Hold(0x07);
    CDevice* device = &Device();
    return std::async(std::launch::async,
                      [device] { return Control(*device, kGetMode2Response, {}); });
  }
};

const Packet kCardStatusQuery = sim::ReaderControlPacket(wire::kStatusQuery);

TEST(DeviceUnitTest, NinthDeviceTakesTheCountAndFreedUnitsAreReused) {
  CUnitBitmap units;
  std::vector<std::uint32_t> given;
  for (int i = 0; i < 9; ++i) {
    given.push_back(units.Allocate());
    units.DeviceAdded();
  }
  EXPECT_EQ(given, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(units.Bits(), 0xFF);
  units.Release(3);
  units.Release(8);  // beyond the map: nothing to clear
  EXPECT_EQ(units.Bits(), 0xF7);
  EXPECT_EQ(units.Allocate(), 3u);
  units.DeviceAdded();
  EXPECT_EQ(units.Allocate(), 10u);  // all taken again: devices added so far
}

TEST_F(DeviceLifecycleTest, DevicesTakeAndGiveBackUnits) {
  auto first = AddDevice();
  auto second = AddDevice();
  EXPECT_EQ(first->device->Unit(), 0u);
  EXPECT_EQ(second->device->Unit(), 1u);
  EXPECT_EQ(second->device->Reader().Extension().unitNo, 1u);
  first->device->Remove();
  auto third = AddDevice();
  EXPECT_EQ(third->device->Unit(), 0u);
  EXPECT_EQ(m_units.DeviceCount(), 3u);
}

TEST_F(DeviceLifecycleTest, StartQueriesTheCardStatus) {
  for (bool inserted : {true, false}) {
    SCOPED_TRACE(inserted);
    auto test = AddDevice();
    test->firmware.SetCardInserted(inserted);
    EXPECT_EQ(test->device->State(), DeviceState::NotStarted);
    ASSERT_EQ(test->device->Start(), STATUS_SUCCESS);
    EXPECT_EQ(test->device->State(), DeviceState::Started);
    EXPECT_TRUE(Wrote(test->firmware, kCardStatusQuery));
    CardState state{};
    ASSERT_EQ(test->device->GetCardState(&state), STATUS_SUCCESS);
    EXPECT_EQ(state, inserted ? CardState::Present : CardState::Absent);
  }
}

TEST_F(DeviceLifecycleTest, StartFailsOnPipesOfAnotherSize) {
  auto test = AddDevice();
  test->edge->SetEndpoints({{0x81, 64}, {0x02, 64}});
  EXPECT_EQ(test->device->Start(), STATUS_UNSUCCESSFUL);
  EXPECT_EQ(test->device->State(), DeviceState::NotStarted);
  EXPECT_EQ(Control(*test->device, kCheckDevice, {}).status, STATUS_DEVICE_REMOVED);
  EXPECT_TRUE(test->firmware.Written().empty());
}

TEST_F(DeviceLifecycleTest, RequestsOnlyWhileStarted) {
  auto test = AddDevice();
  EXPECT_EQ(Control(*test->device, kGetLastError, {}).status, STATUS_DEVICE_REMOVED);
  ASSERT_EQ(test->device->Start(), STATUS_SUCCESS);
  EXPECT_EQ(Control(*test->device, kGetLastError, {}).status, STATUS_SUCCESS);
  ASSERT_EQ(test->device->Stop(), STATUS_SUCCESS);
  EXPECT_EQ(test->device->State(), DeviceState::NotStarted);
  EXPECT_EQ(Control(*test->device, kGetLastError, {}).status, STATUS_DEVICE_REMOVED);
  // Started again after a stop, the device works again.
  ASSERT_EQ(test->device->Start(), STATUS_SUCCESS);
  test->firmware.Script(0x02, 5, {0x30});
  EXPECT_EQ(Control(*test->device, kCheckDevice, {}).reply.size(), 7u);
  EXPECT_EQ(LastError(*test->device), (LastErrorRecord{0, 0, 0, 0}));
  ASSERT_EQ(test->device->Remove(), STATUS_SUCCESS);
  EXPECT_EQ(test->device->State(), DeviceState::Removed);
  EXPECT_EQ(Control(*test->device, kGetLastError, {}).status, STATUS_DEVICE_REMOVED);
  EXPECT_EQ(test->device->Start(), STATUS_DELETE_PENDING);
  EXPECT_EQ(test->device->Remove(), STATUS_DELETE_PENDING);
}

struct CapabilitiesCase {
  const char* name;
  std::uint16_t size;
  std::uint16_t version;
  NTSTATUS status;
};

TEST_F(DeviceLifecycleTest, CapabilitiesQuery) {
  const CapabilitiesCase cases[] = {
      {"version 0", 64, 0, STATUS_UNSUCCESSFUL},
      {"63 bytes", 63, 1, STATUS_UNSUCCESSFUL},
      {"64 bytes", 64, 1, STATUS_SUCCESS},
      {"larger", 200, 2, STATUS_SUCCESS},
  };
  for (const CapabilitiesCase& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceCapabilities caps;
    caps.size = c.size;
    caps.version = c.version;
    caps.deviceState.fill(DevicePowerState::D2);
    EXPECT_EQ(Device().QueryCapabilities(caps), c.status);
    EXPECT_EQ(caps.surpriseRemovalOk, c.status == STATUS_SUCCESS);
  }
  const DeviceCapabilities kept = Device().Capabilities();
  EXPECT_EQ(MapSystemState(kept, SystemPowerState::S0), DevicePowerState::D0);
  for (auto s : {SystemPowerState::S1, SystemPowerState::S2, SystemPowerState::S3,
                 SystemPowerState::S4, SystemPowerState::S5}) {
    EXPECT_EQ(MapSystemState(kept, s), DevicePowerState::D3);
  }
}

TEST_F(DeviceLifecycleTest, PowerDownStopsThePumpAndPowerUpAsksForTheCard) {
  Firmware().Script(0x02, 5, {0x30});
  ASSERT_EQ(Device().SetSystemPower(SystemPowerState::S3), STATUS_SUCCESS);
  EXPECT_EQ(Device().DevicePower(), DevicePowerState::D3);
  EXPECT_EQ(Device().SystemPower(), SystemPowerState::S3);
  // No pump: a request cannot hear the device.
  Control(kCheckDevice);
  EXPECT_EQ(LastError(), (LastErrorRecord{3, 0, 0, 0}));

  Firmware().ClearLog();
  Main().edge->DiscardUnsent();
  ASSERT_EQ(Device().SetSystemPower(SystemPowerState::S0), STATUS_SUCCESS);
  EXPECT_EQ(Device().DevicePower(), DevicePowerState::D0);
  EXPECT_TRUE(Wrote(Firmware(), kCardStatusQuery));
  Control(kCheckDevice);
  EXPECT_EQ(LastError(), (LastErrorRecord{0, 0, 0, 0}));
}

TEST_F(DeviceLifecycleTest, RemovalWaitsForTheRunningRequest) {
  // The aborted read comes back late: a removal that did not wait would
  // return while the request is still inside the driver.
  Main().edge->SetCancelDelay(200ms);
  auto request = HeldMode2Request();
  ASSERT_TRUE(Firmware().WaitForCommand(0x07));
  EXPECT_EQ(Device().Remove(), STATUS_SUCCESS);
  EXPECT_EQ(Device().PendingIo().Count(), 1);
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(request.get().status, STATUS_SUCCESS);
}

TEST_F(DeviceLifecycleTest, QueryRemoveWaitsUntilTheRequestFinishes) {
  auto request = HeldMode2Request();
  ASSERT_TRUE(Firmware().WaitForCommand(0x07));
  CDevice* device = &Device();
  auto query = std::async(std::launch::async, [device] { return device->QueryRemove(); });
  EXPECT_EQ(query.wait_for(200ms), std::future_status::timeout);
  Firmware().Release(sim::ResponsePackets(3, {0x55}));
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(request.get().reply, (Bytes{0x55}));
  ASSERT_EQ(query.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(query.get(), STATUS_SUCCESS);
}

TEST_F(DeviceLifecycleTest, SurpriseRemovalEndsAWaitingRequest) {
  auto request = HeldMode2Request();
  ASSERT_TRUE(Firmware().WaitForCommand(0x07));
  EXPECT_EQ(Device().SurpriseRemoval(), STATUS_SUCCESS);
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(Device().State(), DeviceState::SurpriseRemoved);
  EXPECT_EQ(Control(kGetLastError).status, STATUS_DEVICE_REMOVED);
  EXPECT_EQ(Device().Remove(), STATUS_SUCCESS);
}

TEST_F(DeviceLifecycleTest, RemovalWakesTheCardTracker) {
  CDevice* device = &Device();
  ASSERT_EQ(Device().TrackCard(0), STATUS_SUCCESS);  // the card found at start
  auto tracker = std::async(std::launch::async, [device] { return device->TrackCard(60000); });
  EXPECT_EQ(tracker.wait_for(100ms), std::future_status::timeout);
  EXPECT_EQ(Device().Remove(), STATUS_SUCCESS);
  ASSERT_EQ(tracker.wait_for(5s), std::future_status::ready);
}

TEST_F(DeviceLifecycleTest, CardStatusPacketsWakeTheCardTracker) {
  // The card found at start is told once.
  ASSERT_EQ(Device().TrackCard(0), STATUS_SUCCESS);
  ASSERT_EQ(Device().TrackCard(0), STATUS_TIMEOUT);
  Firmware().Send({sim::CardStatusPacket(false)});
  EXPECT_EQ(Device().TrackCard(5000), STATUS_SUCCESS);
  CardState state{};
  ASSERT_EQ(Device().GetCardState(&state), STATUS_SUCCESS);
  EXPECT_EQ(state, CardState::Absent);
  // Removed again while absent: no change, nothing to tell.
  Firmware().Send({sim::CardStatusPacket(false)});
  EXPECT_EQ(Device().TrackCard(200), STATUS_TIMEOUT);
  Firmware().Send({sim::CardStatusPacket(true)});
  EXPECT_EQ(Device().TrackCard(5000), STATUS_SUCCESS);
  ASSERT_EQ(Device().GetCardState(&state), STATUS_SUCCESS);
  EXPECT_EQ(state, CardState::Present);
}

}  // namespace
}  // namespace qvx::testing
