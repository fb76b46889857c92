// The reader access on the direct path: the device interface found by its
// class under the device root, requests and the cancel as device I/O.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "TestDevice.h"
#include "TestSupport.h"
#include "brixon/Error.h"
#include "brixon/PCSC.h"
#include "brixon/Paths.h"

namespace {

using namespace qvx::brixon;
using qvx::Bytes;
using qvx::contract::ControlIndex;
using qvx::testing::RunExpectingError;

class DirectPathTest : public ::testing::Test {
 protected:
  static CPCSC::Options Direct() {
    CPCSC::Options options;
    options.directPath = true;
    return options;
  }
  std::mutex mutex;
  std::condition_variable changed;
  bool cancelled = false;

  qvx::testing::CTestDevice::Reply Answer(std::uint32_t code,
                                          const std::vector<std::uint8_t>& input) {
    switch (code) {
      case 0x222008:  // CheckCard: echoes its input
        return {0, input};
      case 0x222010: {  // GetMode1Response: waits for the customer or a cancel
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return cancelled; });
        return {995, {}};
      }
      case 0x22201C: {
        std::lock_guard<std::mutex> lock(mutex);
        cancelled = true;
        changed.notify_all();
        return {};
      }
      case 0x222028:
        return {0, {0, 0, 0, 0}};
      default:
        return {87, {}};
    }
  }
};

TEST_F(DirectPathTest, RequestsAndCancelGoThroughTheDeviceInterface) {
  CPCSC missing(Direct());
  EXPECT_EQ(RunExpectingError(missing).Message(), "The Quorvex2 is not connected to any USB port.");

  qvx::testing::CTestDevice device(
      qvx::testing::ReaderTestDir() + "/devices", kDirectInterfaceClass, "quorvex2",
      [this](std::uint32_t code, const std::vector<std::uint8_t>& input, std::uint32_t) {
        return Answer(code, input);
      });
  CPCSC pcsc(Direct());
  EXPECT_EQ(pcsc.Execute(ControlIndex::CheckCard, {7, 8}), (Bytes{7, 8}));
  EXPECT_EQ(pcsc.GetReaderName(), device.Path());

  auto pending = std::async(std::launch::async, [&] {
    while (device.Received().size() < 3) std::this_thread::yield();
    pcsc.Cancel();
  });
  try {
    pcsc.Execute(ControlIndex::GetMode1Response, {});
    ADD_FAILURE() << "not cancelled";
  } catch (const CError& e) {
    EXPECT_EQ(e.Message(), "DeviceIoControl(0x222010/GetMode1Response) failed.");
    EXPECT_EQ(e.GetCode(), 995u);
  }
  pending.get();
  EXPECT_EQ(device.Received(), (std::vector<std::uint32_t>{0x222008, 0x222028, 0x222010, 0x22201C}))
      << "no last-error query after a failed request";
}

}  // namespace
