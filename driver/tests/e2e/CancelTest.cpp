// The named cancel event end to end: a session that finds the reader busy
// sets it, the driver inside pcscd writes the abort packet, and the waiting
// request ends with status 15; with two readers, each has its own event.
#include <PCSC/winscard.h>

#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "E2eFixture.h"
#include "InProcess.h"
#include "platform/Sync.h"

namespace qvx::testing {
namespace {

constexpr std::uint8_t kAbort = 0x17;
constexpr DWORD kCheckDevice = 0x312004;

bool AbortSent(const std::vector<TracedPacket>& trace) {
  const std::vector<std::uint8_t> commands = CommandsSent(trace);
  return std::find(commands.begin(), commands.end(), kAbort) != commands.end();
}

// One vendor request on `reader` over plain pcsc-lite: the first one starts
// that reader's cancel watcher in the driver.
void CheckDeviceOn(const std::string& reader) {
  SCARDCONTEXT context = 0;
  ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context), SCARD_S_SUCCESS);
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  ASSERT_EQ(SCardConnect(context, reader.c_str(), SCARD_SHARE_DIRECT, 0, &card, &protocol),
            SCARD_S_SUCCESS);
  unsigned char answer[300];
  DWORD length = 0;
  EXPECT_EQ(SCardControl(card, kCheckDevice, nullptr, 0, answer, sizeof answer, &length),
            SCARD_S_SUCCESS);
  EXPECT_GT(length, 0u);
  SCardDisconnect(card, SCARD_LEAVE_CARD);
  SCardReleaseContext(context);
}

class Cancel : public SharedStackTest {};

TEST_F(Cancel, QvxcmdCancelEndsTheWaitingRequestWithStatus15) {
  stack().Control("customer never");
  auto waiting = std::async(std::launch::async, [] {
    return RunInProcess({"get-response", "0002CCDD", "nl"});
  });
  ASSERT_TRUE(DeviceWaits(stack()));

  const ProcessResult cancel = stack().Qvxcmd({"cancel"});
  EXPECT_EQ(cancel.exitCode, 0) << cancel.errors;
  EXPECT_EQ(cancel.output, "");

  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const std::string result = waiting.get();
  EXPECT_EQ(result, "Status=15\nStatusDescription=Cancel by other session\nResponse=");
  EXPECT_TRUE(LogHas(NewLog(), ExtendedErrorText(5, 0))) << NewLog();
  EXPECT_TRUE(AbortSent(TraceOf()));
  EXPECT_EQ(stack().Control("state").find("busy=yes"), std::string::npos);
}

TEST_F(Cancel, TheEventOfOneReaderLeavesTheOtherAlone) {
  QVX_SOCKET_LANE_ONLY(kNeedsTwoReaders);
  const std::string otherEvent = "Global\\" + ReaderName(1) + "_cancel_event";
  CheckDeviceOn(ReaderName(1));
  stack().Control("trace clear", 1);

  // A request on reader 00 00 that the customer confirms after a while.
  stack().Control("customer approve 1500", 0);
  Child pending(stack().QvxcmdArgv({"get-mode2-response"}), stack().Env());
  ASSERT_TRUE(DeviceWaits(stack(), 0));

  // The host side of a cancel for reader 01 00: its driver's event exists.
  // Reader 01 00 runs no request, so its watcher takes the cancel (and
  // clears the event) without sending its device anything.
  platform::HANDLE event = OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false, otherEvent.c_str());
  ASSERT_NE(event, nullptr) << otherEvent;
  EXPECT_TRUE(SetEvent(event));
  EXPECT_TRUE(Eventually([&] { return WaitForSingleObject(event, 0) == WAIT_TIMEOUT; }))
      << "reader 01 00 never took its cancel";
  CloseHandle(event);
  EXPECT_FALSE(AbortSent(TraceOf(1)));
  const ProcessResult result = pending.Wait();
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_FALSE(AbortSent(TraceOf(0)));
}

}  // namespace
}  // namespace qvx::testing
