// The cancel watcher: a host sets the reader's named cancel event and the
// device gets an abort packet while a request waits for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "ReaderFixture.h"
#include "platform/Sync.h"
#include "reader/PcscdReaderName.h"
#include "reader/ServedVendorCodes.h"

namespace qvx::testing {
namespace {

using namespace qvx::driver;
using namespace std::chrono_literals;

class CancelWatcherTest : public ReaderFixture {
 protected:
  // What a host does: open (or create) the reader's event and set it.
  static void SetCancelEvent(const std::string& name) {
    platform::HANDLE event = CreateEvent(nullptr, true, false, name.c_str());
    ASSERT_NE(event, nullptr);
    SetEvent(event);
    CloseHandle(event);
  }
  static bool EventIsSet(const std::string& name) {
    platform::HANDLE event = OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, name.c_str());
    if (event == nullptr) return false;
    const bool set = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    CloseHandle(event);
    return set;
  }

  // Starts a mode-2 request whose command 0x07 the device holds.
  std::future<ControlResult> WaitingRequest(TestDevice& test) {
    test.firmware.Script(0x01, 1, {0x01});
    test.firmware.Hold(0x07);
    CDevice* device = test.device.get();
    auto request = std::async(std::launch::async,
                              [device] { return Control(*device, kGetMode2Response, {}); });
    EXPECT_TRUE(test.firmware.WaitForCommand(0x07));
    return request;
  }
};

TEST_F(CancelWatcherTest, EventNamesFollowTheListedReaderName) {
  EXPECT_EQ(ReaderName(0), "Meridel Quorvex2_Reader 00 00");
  EXPECT_EQ(ReaderName(1), "Meridel Quorvex2_Reader 01 00");
  EXPECT_EQ(ReaderName(0x1A), "Meridel Quorvex2_Reader 1A 00");
  EXPECT_EQ(CancelEventName(0), "Global\\Meridel Quorvex2_Reader 00 00_cancel_event");
  EXPECT_EQ(CancelEventName(1), "Global\\Meridel Quorvex2_Reader 01 00_cancel_event");
}

TEST_F(CancelWatcherTest, CancelDuringAWaitingRequestAbortsIt) {
  auto request = WaitingRequest(Main());
  ASSERT_EQ(request.wait_for(100ms), std::future_status::timeout);

  SetCancelEvent("Global\\Meridel Quorvex2_Reader 00 00_cancel_event");
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(request.get().status, STATUS_SUCCESS);

  const Packets aborts = Firmware().Aborts();
  ASSERT_EQ(aborts.size(), 1u);
  EXPECT_EQ(Bytes(aborts[0].begin(), aborts[0].begin() + 7),
            (Bytes{0x01, 0x03, 0x17, 0x00, 0x00, 0x00, 0x00}));
  // The device answered the abort with event 0B: cancelled by another session.
  EXPECT_EQ(LastError(), (LastErrorRecord{5, 0, 0, 0}));
  // The watcher clears the event once the abort is out.
  for (int i = 0; i < 100 && EventIsSet(CancelEventName(0)); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(EventIsSet(CancelEventName(0)));
}

TEST_F(CancelWatcherTest, SequenceBytesFollowEachOther) {
  Packets aborts;
  for (int i = 0; i < 2; ++i) {
    Firmware().ClearLog();
    auto request = WaitingRequest(Main());
    SetCancelEvent(CancelEventName(0));
    ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
    const Packets written = Firmware().Aborts();
    ASSERT_EQ(written.size(), 1u);
    aborts.push_back(written[0]);
  }
  EXPECT_EQ(static_cast<std::uint8_t>(aborts[0][7] + 1), aborts[1][7]);
}

TEST_F(CancelWatcherTest, SecondReaderWatchesItsOwnEvent) {
  Control(kOpenCancelEvent);
  auto second = StartedDevice(1);
  EXPECT_STREQ(second->device->Reader().CancelEventName(),
               "Global\\Meridel Quorvex2_Reader 01 00_cancel_event");
  auto request = WaitingRequest(*second);
  SetCancelEvent("Global\\Meridel Quorvex2_Reader 01 00_cancel_event");
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(second->firmware.Aborts().size(), 1u);
  EXPECT_TRUE(Firmware().Aborts().empty());
}

// A USB device with a serial number is listed with it, and hosts set the
// event of that name.
TEST_F(CancelWatcherTest, DeviceWithASerialNumberWatchesItsListedName) {
  const std::string listed = "Global\\Meridel Quorvex2_Reader (QV2-000417) 00 00_cancel_event";
  auto serial = StartedDevice(0, true, DeviceNameStrings{std::nullopt, "QV2-000417"});
  EXPECT_STREQ(serial->device->ReaderName(), "Meridel Quorvex2_Reader (QV2-000417) 00 00");
  EXPECT_EQ(serial->device->Reader().CancelEventName(), listed);
  Control(*serial->device, kOpenCancelEvent, {});
  auto request = WaitingRequest(*serial);
  SetCancelEvent(listed);
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(serial->firmware.Aborts().size(), 1u);
  EXPECT_EQ(LastError(*serial->device), (LastErrorRecord{5, 0, 0, 0}));
}

// The plug-in creates the event first, as an automatic one; the watcher
// must not spend the signal on looking at it.
TEST_F(CancelWatcherTest, AnAutomaticEventCreatedByTheHostAbortsToo) {
  platform::HANDLE event = CreateEvent(nullptr, false, false, CancelEventName(0).c_str());
  ASSERT_NE(event, nullptr);
  auto request = WaitingRequest(Main());
  EXPECT_TRUE(SetEvent(event));
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(Firmware().Aborts().size(), 1u);
  EXPECT_EQ(LastError(), (LastErrorRecord{5, 0, 0, 0}));
  CloseHandle(event);
}

// A cancel that finds no request running belongs to a request that has
// ended: it aborts nothing, and the next request runs to its end.
TEST_F(CancelWatcherTest, CancelWithNoRequestRunningAbortsNothing) {
  Control(kOpenCancelEvent);
  SetCancelEvent(CancelEventName(0));
  for (int i = 0; i < 500 && EventIsSet(CancelEventName(0)); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_FALSE(EventIsSet(CancelEventName(0))) << "the watcher never saw the cancel";
  EXPECT_TRUE(Firmware().Aborts().empty());

  Firmware().Script(0x01, 1, {0x01});
  Firmware().Script(0x07, 3, {1, 2, 3, 4, 5, 6, 7, 8});
  const ControlResult result = Control(kGetMode2Response);
  EXPECT_EQ(result.status, STATUS_SUCCESS);
  EXPECT_EQ(result.reply, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(LastError(), (LastErrorRecord{0, 0, 0, 0}));
  EXPECT_TRUE(Firmware().Aborts().empty());
}

// An abort sticks to its request: the commands still to come are not sent,
// and the device is brought back in step before the request ends.
TEST_F(CancelWatcherTest, NoCommandAfterTheAbortAndTheNextRequestIsServed) {
  Firmware().Script(0x01, 1, {0x01});
  Firmware().Script(0x04, 2);
  Firmware().Script(0x05, 2);
  Firmware().Hold(0x06);
  // Ten text elements of raw bytes, then the parameter.
  Bytes input;
  for (int i = 0; i < 10; ++i) input.insert(input.end(), {0x00, 0x02, 0xCC, 0xDD});
  input.insert(input.end(), {0x00, 0x00});
  CDevice* device = &Device();
  auto request = std::async(std::launch::async,
                            [device, input] { return Control(*device, kGetResponse, input); });
  ASSERT_TRUE(Firmware().WaitForCommand(0x05));
  SetCancelEvent(CancelEventName(0));
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(request.get().status, STATUS_SUCCESS);
  EXPECT_EQ(LastError(), (LastErrorRecord{5, 0, 0, 0}));

  // After the abort, the only command is the check device that fences
  // off what the device may still have owed; then nothing until the next request.
  const Packets written = Firmware().Written();
  const auto abort =
      std::find_if(written.begin(), written.end(), [](const Packet& p) { return IsAbort(p); });
  ASSERT_NE(abort, written.end());
  std::vector<std::uint8_t> after;
  for (auto it = abort + 1; it != written.end(); ++it) {
    if ((*it)[0] == 0x01) after.push_back((*it)[2]);
  }
  EXPECT_TRUE(after.empty() || after == std::vector<std::uint8_t>{0x02}) << after.size();

  Firmware().Script(0x02, 5, {'0', '1', '.', '2', '0', 0x00});
  const ControlResult next = Control(kCheckDevice);
  EXPECT_EQ(next.status, STATUS_SUCCESS);
  EXPECT_EQ(next.reply.size(), 12u);
  EXPECT_EQ(LastError(), (LastErrorRecord{0, 0, 0, 0}));
}

TEST_F(CancelWatcherTest, NoWatcherBeforeTheFirstVendorRequest) {
  Device();
  EXPECT_FALSE(Device().Reader().CancelWatcherRunning());
  SetCancelEvent(CancelEventName(0));
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(Firmware().Aborts().empty());

  // The first request starts it, and a cancel left from before is dropped.
  Firmware().Script(0x02, 5);
  Control(kCheckDevice);
  EXPECT_TRUE(Device().Reader().CancelWatcherRunning());
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(Firmware().Aborts().empty());
  EXPECT_FALSE(EventIsSet(CancelEventName(0)));
}

TEST_F(CancelWatcherTest, RemovalEndsTheWatcher) {
  Control(kOpenCancelEvent);
  ASSERT_TRUE(Device().Reader().CancelWatcherRunning());
  EXPECT_EQ(Device().Remove(), STATUS_SUCCESS);
  EXPECT_FALSE(Device().Reader().CancelWatcherRunning());
  // Nobody holds the event any more: it is gone from the namespace.
  EXPECT_EQ(OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, CancelEventName(0).c_str()),
            nullptr);
}

}  // namespace
}  // namespace qvx::testing
