// What a system that keeps the card-tracking request itself hears (the
// WDM driver ends IS_PRESENT/IS_ABSENT there), and the report of a device
// that broke the framing.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "ReaderFixture.h"
#include "reader/ServedVendorCodes.h"

namespace qvx::testing {
namespace {

using namespace qvx::driver;
using namespace std::chrono_literals;

class Recorder final : public ICardTrackingListener, public IDeviceFailure {
 public:
  void OnTrackingCompleted(CardState state) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_heard.push_back(state);
    m_changed.notify_all();
  }
  void OnDeviceFailed() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_failures;
    m_failedFlagSeen = m_device != nullptr && m_device->DeviceFailed();
  }

  // What was heard once `count` states were (or after 5 s).
  std::vector<CardState> Heard(std::size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, 5s, [&] { return m_heard.size() >= count; });
    return m_heard;
  }

  CDevice* m_device = nullptr;
  int m_failures = 0;
  bool m_failedFlagSeen = false;

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<CardState> m_heard;
};

class CardTrackingListenerTest : public ReaderFixture {};

TEST_F(CardTrackingListenerTest, HearsEveryStatusThatChangesTheCard) {
  struct Case {
    const char* name;
    bool cardAtStart;
    std::vector<bool> inserted;  // card-status packets, in order
    std::vector<CardState> heard;
  };
  const Case cases[] = {
      {"removed", true, {false}, {CardState::Absent}},
      // A second removal changes nothing: the insertion after it is next.
      {"removed twice, inserted",
       true,
       {false, false, true},
       {CardState::Absent, CardState::Present}},
      // Every insertion is told: the listener decides whether it matters.
      {"inserted over a card", true, {true}, {CardState::Present}},
      {"inserted, removed", false, {true, false}, {CardState::Present, CardState::Absent}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder recorder;
    auto test = StartedDevice(0, c.cardAtStart);
    test->device->Card().SetTrackingListener(&recorder);
    for (const bool inserted : c.inserted) test->firmware.Send({sim::CardStatusPacket(inserted)});
    EXPECT_EQ(recorder.Heard(c.heard.size()), c.heard);
    test->device->Card().SetTrackingListener(nullptr);
  }
}

TEST_F(CardTrackingListenerTest, HearsTheCardADeviceCommandFound) {
  Recorder recorder;
  auto test = StartedDevice(0, /*card=*/false);
  test->device->Card().SetTrackingListener(&recorder);
  test->firmware.Script(0x01, 1, {0x01});
  test->firmware.Script(0x07, 3, {0x01});
  Control(*test->device, kGetMode2Response, {});
  EXPECT_EQ(recorder.Heard(1), std::vector<CardState>{CardState::Present});
  test->device->Card().SetTrackingListener(nullptr);
}

TEST_F(CardTrackingListenerTest, FramingViolationIsReportedAfterTheFlagIsSet) {
  for (const bool framing : {true, false}) {
    SCOPED_TRACE(framing ? "framing violation" : "device error 36");
    Recorder recorder;
    auto test = AddDevice(0, {}, &recorder);
    recorder.m_device = test->device.get();
    test->firmware.SetCardInserted(true);
    ASSERT_EQ(test->device->Start(), STATUS_SUCCESS);
    if (framing) {
      test->firmware.Script(0x02, {Packet{0x05, 0x03, 0x05, 0x00, 0x00}});
    } else {
      test->firmware.Script(0x02, 8, {36});
    }
    Control(*test->device, kCheckDevice, {});
    EXPECT_EQ(recorder.m_failures, framing ? 1 : 0);
    EXPECT_EQ(recorder.m_failedFlagSeen, framing);
  }
}

}  // namespace
}  // namespace qvx::testing
