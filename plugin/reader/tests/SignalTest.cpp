#include <gtest/gtest.h>

#include <thread>

#include "brixon/Error.h"
#include "brixon/Signal.h"
#include "platform/Messages.h"

namespace {

using namespace qvx::brixon;
using namespace platform;

struct Pump {
  int seen = 0;
  CSignal* done = nullptr;
};

// Counts the user messages; the third one ends the wait from inside it.
LRESULT WINAPI CountingProcedure(HWND window, UINT message, WPARAM, LPARAM) {
  auto* pump = static_cast<Pump*>(GetWindowUserData(window));
  if (message == WM_USER && ++pump->seen == 3) pump->done->Signal();
  return 0;
}

TEST(WaitMsgMultipleTest, DispatchesWhileWaitingAndReturnsTheSignalledIndex) {
  CSignal other(true, false), done(true, false);
  Pump pump{0, &done};
  HWND window = CreateMessageWindow(&CountingProcedure, &pump);
  ASSERT_NE(window, nullptr);
  std::thread poster([window] {
    for (int i = 0; i < 3; ++i) PostMessageA(window, WM_USER, 0, 0);
  });
  EXPECT_EQ(CSignal::WaitMsgMultiple({&other, &done}, INFINITE), 1);
  poster.join();
  EXPECT_EQ(pump.seen, 3);
  EXPECT_EQ(CSignal::WaitMsgMultiple({&other}, 10), -1);
  DestroyWindow(window);
}

TEST(WaitMsgMultipleTest, EndsOnClosingMessagesAndPostsThemBack) {
  struct Case {
    UINT message;
    bool toWindow;
    const char* text;
  };
  const Case cases[] = {
      {WM_CLOSE, true, "Received WM_CLOSE."},
      {WM_QUIT, false, "Received WM_QUIT."},
      {WM_CANCELMODE, true, "Received WM_CANCELMODE."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    CSignal never(true, false), done(true, false);
    Pump pump{0, &done};
    HWND window = CreateMessageWindow(&CountingProcedure, &pump);
    PostMessageA(window, WM_USER, 0, 0);
    PostMessageA(c.toWindow ? window : nullptr, c.message, 5, 6);
    try {
      CSignal::WaitMsgMultiple({&never}, INFINITE);
      ADD_FAILURE() << "the wait did not end";
    } catch (const CError& e) {
      EXPECT_EQ(e.Message(), c.text);
      EXPECT_EQ(e.GetLabel(), "CSignal::WaitMsgMultiple()");
    }
    EXPECT_EQ(pump.seen, 1) << "what came before was dispatched";
    MSG back;
    ASSERT_TRUE(PeekMessageA(&back, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(back.message, c.message);
    EXPECT_EQ(back.hwnd, c.toWindow ? window : nullptr);
    EXPECT_EQ(back.wParam, 5u);
    DestroyWindow(window);
  }
}

}  // namespace
