#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "FakeSCard.h"
#include "TestSupport.h"
#include "brixon/ControlThread.h"
#include "brixon/Error.h"

namespace {

using namespace qvx::brixon;
using qvx::testing::Eventually;
using qvx::testing::FakeSCard;

constexpr ::DWORD kCheckCard = 0x312008;
constexpr ::DWORD kGetLastError = 0x312028;

// A latch the fake's Control waits on: the device waits for its customer.
struct Customer {
  std::mutex mutex;
  std::condition_variable changed;
  bool answered = false;
  std::atomic<bool> waiting{false};
  void Wait() {
    waiting = true;
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return answered; });
  }
  void Answer() {
    std::lock_guard<std::mutex> lock(mutex);
    answered = true;
    changed.notify_all();
  }
};

class ControlThreadTest : public ::testing::Test {
 protected:
  ControlThreadTest() : scard(std::make_shared<FakeSCard>()) {
    data = std::make_shared<CControlData>(scard, false);
    scard->EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
    Connect();
  }
  void Connect() {
    ::SCARDHANDLE card = 0;
    ::DWORD protocol = 0;
    ASSERT_EQ(scard->Connect(context, "Meridel Quorvex2_Reader 00 00", SCARD_SHARE_DIRECT, 0, &card,
                             &protocol),
              SCARD_S_SUCCESS);
    data->cardHandle = card;
  }
  ::SCARDCONTEXT context = 0;
  std::shared_ptr<FakeSCard> scard;
  std::shared_ptr<CControlData> data;
};

TEST_F(ControlThreadTest, LastErrorRecordDecidesResultAndResponse) {
  struct Case {
    const char* name;
    FakeSCard::ControlAnswer lastError;
    std::uint32_t result;
    bool responseKept;
    bool disconnected;
  };
  const Case cases[] = {
      {"all zero", {SCARD_S_SUCCESS, {0, 0, 0, 0}}, 0, true, false},
      {"two bytes", {SCARD_S_SUCCESS, {0, 0}}, 0, true, false},
      {"none returned", {SCARD_S_SUCCESS, {}}, 0, true, false},
      {"cancel by user", {SCARD_S_SUCCESS, {4, 0x19, 0, 0}}, 0xA010006E, false, true},
      {"other session", {SCARD_S_SUCCESS, {5, 0, 0, 0}}, 0xA0100002, false, true},
      {"query fails",
       {SCARD_E_NO_SMARTCARD, {}},
       static_cast<std::uint32_t>(SCARD_E_NO_SMARTCARD),
       false,
       false},
  };
  CControlThread thread(data);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (data->cardHandle.load() == 0) Connect();
    scard->QueueControl(kCheckCard, {SCARD_S_SUCCESS, {0xAB, 0xCD}});
    scard->QueueControl(kGetLastError, c.lastError);
    thread.Start(kCheckCard, "0x312008/CheckCard", {1, 2});
    ASSERT_TRUE(data->completion.Wait(10000));
    EXPECT_EQ(data->resultCode, c.result);
    EXPECT_EQ(data->response, c.responseKept ? (qvx::Bytes{0xAB, 0xCD}) : qvx::Bytes());
    EXPECT_EQ(data->cardHandle.load() == 0, c.disconnected);
    EXPECT_TRUE(thread.IsIdle());
  }
  EXPECT_EQ(scard->ControlCalls(kCheckCard).back().request, (std::vector<BYTE>{1, 2}));
  EXPECT_NE(qvx::testing::PluginLog().find(
                "SCardControl(0x312028/GetLastError) failed. dwBytesReturned = 0"),
            std::string::npos);
}

TEST_F(ControlThreadTest, AStatusIndexOutsideTheTableEndsTheWorkerButNotTheCaller) {
  CControlThread thread(data);
  scard->QueueControl(kGetLastError, {SCARD_S_SUCCESS, {0x20, 0, 0, 0}});
  thread.Start(kCheckCard, "0x312008/CheckCard", {});
  ASSERT_TRUE(data->completion.Wait(10000));
  EXPECT_EQ(data->resultCode, kWorkerEndedResult);
  ASSERT_TRUE(data->exited.Wait(10000));
  EXPECT_EQ(data->exitCode.load(), kWorkerExitError);
  // The next request gets a new worker.
  thread.Start(kCheckCard, "0x312008/CheckCard", {});
  ASSERT_TRUE(data->completion.Wait(10000));
  EXPECT_EQ(data->resultCode, 0u);
}

TEST_F(ControlThreadTest, StopsAnIdleWorker) {
  auto thread = std::make_unique<CControlThread>(data);
  EXPECT_TRUE(thread->IsIdle());
  thread.reset();
  EXPECT_TRUE(data->exited.IsSet());
  EXPECT_EQ(data->exitCode.load(), kWorkerExitNormal);
  EXPECT_TRUE(data->completion.IsSet());
}

TEST_F(ControlThreadTest, AWorkerStuckInTheDeviceIsLetGoWithItsOwnRecord) {
  Customer customer;
  scard->onCall = [&customer](const FakeSCard::Call& call) {
    if (call.controlCode == kCheckCard) customer.Wait();
  };
  auto thread = std::make_unique<CControlThread>(data);
  thread->Start(kCheckCard, "0x312008/CheckCard", {});
  ASSERT_TRUE(Eventually([&] { return customer.waiting.load(); }));
  EXPECT_FALSE(thread->IsIdle());
  thread.reset();  // returns after its 2000 ms
  EXPECT_EQ(data->exitCode.load(), kWorkerExitKilled);

  std::weak_ptr<CControlData> record = data;
  std::weak_ptr<FakeSCard> library = scard;
  data.reset();
  scard.reset();
  EXPECT_FALSE(record.expired()) << "the worker still holds what it touches";
  customer.Answer();
  EXPECT_TRUE(Eventually([&] { return record.expired() && library.expired(); }));
}

TEST_F(ControlThreadTest, CancelActsOnlyOnABusyWorker) {
  data->readerCancelSignal = std::make_unique<CSignal>(false, false, "Global\\qvx-cancel-test");
  CSignal watcher(false, false, "Global\\qvx-cancel-test");  // the driver's side
  CControlThread thread(data);

  thread.Cancel("", true);
  EXPECT_FALSE(watcher.IsSet()) << "idle: no cancel";

  std::atomic<bool> pending{false};
  scard->onCall = [&watcher, &pending](const FakeSCard::Call& call) {
    if (call.controlCode != kCheckCard) return;
    pending = true;
    watcher.Wait(10000);  // ends when cancelled
  };
  scard->QueueControl(kGetLastError, {SCARD_S_SUCCESS, {5, 0, 0, 0}});
  thread.Start(kCheckCard, "0x312008/CheckCard", {});
  ASSERT_TRUE(Eventually([&] { return pending.load(); }));
  thread.Cancel("", true);
  EXPECT_TRUE(thread.IsIdle());
  EXPECT_EQ(data->resultCode, 0xA0100002u);
}

TEST(ExtendedErrorTextTest, ListsThePresentCodesAndTheDeviceError) {
  struct Case {
    std::vector<std::uint8_t> record;
    const char* text;
  };
  const Case cases[] = {
      {{}, ""},
      {{0, 0}, " Extended error codes: (0x00, 0x00)"},
      {{0x0A, 0, 0x1F, 0xFF}, " Extended error codes: (0x0A, 0x00, 0x1F, 0xFF)"},
      {{4, 1},
       " Extended error codes: (0x04, 0x01):(ExtErr2 :0x01,ERR_DF_NAME_NOT_FOUND,Could not find "
       "DF-name)"},
  };
  for (const Case& c : cases) {
    CControlData data(nullptr, false);
    data.SetExtendedErrorCodes(c.record.data(), c.record.size());
    EXPECT_EQ(data.GetExtendedErrorText(), c.text);
  }
}

}  // namespace
