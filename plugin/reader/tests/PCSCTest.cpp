#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>

#include "FakeSCard.h"
#include "TestSupport.h"
#include "brixon/Error.h"
#include "contract/ReaderName.h"
#include "brixon/PCSC.h"
#include "platform/Messages.h"
#include "platform/System.h"

namespace {

using namespace qvx::brixon;
using qvx::Bytes;
using qvx::contract::ControlIndex;
using qvx::testing::Eventually;
using qvx::testing::FakeSCard;
using qvx::testing::RunExpectingError;

constexpr const char* kReader = "Meridel Quorvex2_Reader 00 00";
constexpr ::DWORD kCheckCard = 0x312008;
constexpr ::DWORD kGetLastError = 0x312028;
constexpr ::DWORD kOpenCancelEvent = 0x31201C;

std::shared_ptr<FakeSCard> Device() {
  auto scard = std::make_shared<FakeSCard>();
  scard->readers = {"Other Reader 00 00", kReader};
  return scard;
}

CPCSC::Options PcscOver(std::shared_ptr<FakeSCard> scard) {
  CPCSC::Options options;
  options.directPath = false;
  options.library = std::move(scard);
  return options;
}

// The driver's view of the reader cancel event.
CSignal& Watcher() {
  static CSignal watcher(false, false, qvx::contract::CancelEventName(kReader));
  return watcher;
}

// The fake's CheckCard waits until the reader cancel event is set (the
// driver aborts the request) and then reports "cancelled by another
// session" in the last-error record.
void WaitForCancel(FakeSCard& scard, std::atomic<bool>& pending) {
  scard.QueueControl(kGetLastError, {SCARD_S_SUCCESS, {5, 0, 0, 0}});
  scard.onCall = [&pending](const FakeSCard::Call& call) {
    if (call.controlCode != kCheckCard) return;
    pending = true;
    Watcher().Wait(10000);
  };
}

TEST(PCSCTest, OneRequestConnectsDirectlySendsAndDisconnects) {
  auto scard = Device();
  scard->QueueControl(kCheckCard, {SCARD_S_SUCCESS, {0x10, 0x20}});
  {
    CPCSC pcsc(PcscOver(scard));
    EXPECT_EQ(pcsc.Execute(ControlIndex::CheckCard, {0x01}), (Bytes{0x10, 0x20}));
    EXPECT_EQ(pcsc.GetReaderName(), kReader);
    EXPECT_EQ(scard->OpenCards(), 0);
    EXPECT_TRUE(pcsc.Execute(ControlIndex::CheckCard, {}).empty());
  }
  const auto connects = scard->CallsTo("Connect");
  ASSERT_EQ(connects.size(), 2u);
  EXPECT_EQ(connects[0].reader, kReader);
  EXPECT_EQ(connects[0].shareMode, static_cast<::DWORD>(SCARD_SHARE_DIRECT));
  EXPECT_EQ(scard->ControlCalls(kOpenCancelEvent).size(), 1u) << "only by the creator, once";
  EXPECT_EQ(scard->ControlCalls(kCheckCard)[0].request, (std::vector<BYTE>{0x01}));
  EXPECT_EQ(scard->ControlCalls(kGetLastError).size(), 2u);
  EXPECT_EQ(scard->OpenContexts(), 0);
  EXPECT_EQ(scard->OutstandingAllocations(), 0);
}

TEST(PCSCTest, FailuresCarryTheirTextAndStatus) {
  struct Case {
    const char* name;
    FakeSCard::ControlAnswer control;
    FakeSCard::ControlAnswer lastError;
    std::string message;
    int status;
  };
  const Case cases[] = {
      {"cancel on the keypad",
       {},
       {SCARD_S_SUCCESS, {4, 0, 0, 0}},
       "SCardControl(0x312008/CheckCard) failed. Extended error codes: (0x04, 0x00, 0x00, 0x00)",
       7},
      {"other session",
       {},
       {SCARD_S_SUCCESS, {5, 0, 0, 0}},
       "Command Cancelled by other session.",
       15},
      {"cancelled call",
       {SCARD_E_CANCELLED, {}},
       {},
       "Command 0x312008/CheckCard was cancelled.",
       1},
      {"broken reader",
       {SCARD_E_READER_UNAVAILABLE, {}},
       {},
       "SCardControl(0x312008/CheckCard) failed.",
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto scard = Device();
    scard->QueueControl(kCheckCard, c.control);
    if (!c.lastError.data.empty()) scard->QueueControl(kGetLastError, c.lastError);
    CPCSC pcsc(PcscOver(scard));
    const CError error = RunExpectingError(pcsc);
    EXPECT_EQ(error.Message(), c.message);
    EXPECT_EQ(error.GetStatus(), c.status);
    EXPECT_EQ(error.GetLabel(), "CPCSC::WaitForCompletion()");
    EXPECT_EQ(scard->OpenCards(), 0);
  }
}

TEST(PCSCTest, NoReaderAndAReaderThatStaysTaken) {
  auto none = std::make_shared<FakeSCard>();
  CPCSC empty(PcscOver(none));
  EXPECT_EQ(RunExpectingError(empty).Message(), "The Quorvex2 is not connected to any USB port.");

  auto taken = Device();
  for (int i = 0; i < 5; ++i) taken->connectResults.push_back(SCARD_E_SHARING_VIOLATION);
  while (Watcher().IsSet()) {
  }
  CPCSC pcsc(PcscOver(taken));
  const CError error = RunExpectingError(pcsc);
  EXPECT_EQ(error.Message(), std::string("SCardConnect(") + kReader + ") failed.");
  EXPECT_EQ(error.GetStatus(), 14);
  EXPECT_EQ(taken->CallsTo("Connect").size(), 5u);
  EXPECT_TRUE(Watcher().IsSet()) << "the holder was asked to give way";
  EXPECT_FALSE(Watcher().IsSet()) << "once";
}

TEST(PCSCTest, SessionCancelEndsTheWaitAndCancelsTheDevice) {
  auto scard = Device();
  std::atomic<bool> pending{false};
  WaitForCancel(*scard, pending);
  CPCSC pcsc(PcscOver(scard));
  std::thread otherSession([&] {
    if (!Eventually([&] { return pending.load(); })) return;
    CSignal session(true, false, kSessionCancelEventName);
    session.Signal();
  });
  const CError error = RunExpectingError(pcsc);
  otherSession.join();
  EXPECT_EQ(error.Message(), "Command Cancelled by other session.");
  EXPECT_EQ(error.GetStatus(), 15);
  scard->onCall = nullptr;
  EXPECT_TRUE(pcsc.Execute(ControlIndex::CheckCard, {}).empty()) << "session signal was reset";
}

TEST(PCSCTest, QuitWhileWaitingIsPostedAgainAndTheRequestCancelled) {
  auto scard = Device();
  std::atomic<bool> pending{false};
  WaitForCancel(*scard, pending);
  const platform::DWORD browser = GetCurrentThreadId();
  platform::CreateMessageQueue();
  std::thread quitter([&] {
    if (Eventually([&] { return pending.load(); })) {
      PostThreadMessage(browser, WM_QUIT, 0, 0);
    }
  });
  CPCSC pcsc(PcscOver(scard));
  const CError error = RunExpectingError(pcsc);
  quitter.join();
  EXPECT_EQ(error.Message(), "Received WM_QUIT.");
  EXPECT_FALSE(pcsc.IsBusy()) << "the device was told to stop";
  EXPECT_EQ(scard->OpenCards(), 0);
  platform::MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, WM_QUIT);
}

TEST(PCSCTest, ASecondWindowWaitsAsksTheHolderToGiveWayAndGetsTheDevice) {
  auto first = Device();
  std::atomic<bool> pending{false};
  WaitForCancel(*first, pending);
  auto holder = std::async(std::launch::async, [&] {
    CPCSC pcsc(PcscOver(first));
    try {
      pcsc.Execute(ControlIndex::CheckCard, {});
    } catch (const CError& e) {
      return e.GetStatus();
    }
    return 0;
  });
  ASSERT_TRUE(Eventually([&] { return pending.load(); }));
  auto second = Device();
  second->QueueControl(kCheckCard, {SCARD_S_SUCCESS, {0x42}});
  CPCSC newcomer(PcscOver(second));
  EXPECT_EQ(newcomer.Execute(ControlIndex::CheckCard, {}), Bytes{0x42});
  EXPECT_EQ(holder.get(), 15);
}

// The page's Cancel, run by a window message dispatched inside the wait.
platform::LRESULT WINAPI CancelFromScript(platform::HWND window, platform::UINT message,
                                          platform::WPARAM, platform::LPARAM) {
  if (message == WM_USER) {
    static_cast<IReaderAccess*>(platform::GetWindowUserData(window))->Cancel();
  }
  return 0;
}

TEST(PCSCTest, AReentrantCancelEndsTheCommandAlsoWhenTheDeviceIgnoresTheAbort) {
  for (const bool deviceAborts : {true, false}) {
    SCOPED_TRACE(deviceAborts ? "device aborts" : "device ignores the abort");
    auto scard = Device();
    std::atomic<bool> pending{false};
    std::mutex mutex;
    std::condition_variable changed;
    bool answered = false;
    if (deviceAborts) {
      WaitForCancel(*scard, pending);
    } else {
      scard->onCall = [&](const FakeSCard::Call& call) {
        if (call.controlCode != kCheckCard) return;
        pending = true;
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return answered; });
      };
    }
    CPCSC pcsc(PcscOver(scard));
    platform::HWND page = platform::CreateMessageWindow(CancelFromScript, &pcsc);
    ASSERT_NE(page, nullptr);
    std::thread script([&] {
      if (Eventually([&] { return pending.load(); })) {
        PostMessageA(page, WM_USER, 0, 0);
      }
    });
    const CError error = RunExpectingError(pcsc);
    script.join();
    EXPECT_EQ(error.Message(), "Command Cancelled by other session.");
    EXPECT_EQ(error.GetStatus(), 15);
    {
      std::lock_guard<std::mutex> lock(mutex);
      answered = true;
      changed.notify_all();
    }
    ASSERT_TRUE(Eventually([&] { return !pcsc.IsBusy(); }));
    scard->onCall = nullptr;
    EXPECT_TRUE(pcsc.Execute(ControlIndex::CheckCard, {}).empty()) << "session signal was reset";
    DestroyWindow(page);
  }
}

// Tells when the worker has closed what was handed over to it.
class ClosingSCard : public FakeSCard {
 public:
  std::atomic<bool> contextReleased{false};
  LONG ReleaseContext(SCARDCONTEXT context) override {
    const LONG result = FakeSCard::ReleaseContext(context);
    contextReleased = true;
    return result;
  }
};

TEST(PCSCTest, AWorkerStuckAtDestructionClosesTheConnectionItself) {
  auto scard = std::make_shared<ClosingSCard>();
  scard->readers = {kReader};
  std::mutex mutex;
  std::condition_variable changed;
  bool answered = false;
  std::atomic<bool> pending{false};
  scard->onCall = [&](const FakeSCard::Call& call) {
    if (call.controlCode != kCheckCard) return;
    pending = true;
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return answered; });
  };
  // The page goes away while the device waits for its customer: a WM_CLOSE
  // ends the wait, the cancel goes unanswered, the object is destroyed.
  std::atomic<platform::DWORD> browserThread{0};
  std::string message;
  std::thread browser([&] {
    browserThread = GetCurrentThreadId();
    platform::CreateMessageQueue();
    CPCSC pcsc(PcscOver(scard));
    try {
      pcsc.Execute(ControlIndex::CheckCard, {});
    } catch (const CError& e) {
      message = e.Message();
    }
  });
  ASSERT_TRUE(Eventually([&] { return pending.load(); }));
  PostThreadMessage(browserThread, WM_CLOSE, 0, 0);
  browser.join();  // after the cancel's and the stop's 2000 ms
  EXPECT_EQ(message, "Received WM_CLOSE.");
  EXPECT_FALSE(scard->contextReleased.load()) << "not closed under the pending call";
  {
    std::lock_guard<std::mutex> lock(mutex);
    answered = true;
    changed.notify_all();
  }
  EXPECT_TRUE(Eventually([&] { return scard->contextReleased.load(); }));
  EXPECT_EQ(scard->OpenCards(), 0);
  // The worker has let go of its record, and with it of the library: no
  // part of it runs on into this process's exit.
  EXPECT_TRUE(Eventually([&] { return scard.use_count() == 1; }));
}

}  // namespace
