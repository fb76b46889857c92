// Two readers served side by side: while reader 01 00 waits for its
// customer, a request on reader 00 00 is answered at once, not after the
// other reader's customer.
#include <PCSC/winscard.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "E2eFixture.h"
#include "InProcess.h"

namespace qvx::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kCheckDevice = 0x312004;
constexpr DWORD kGetMode2Response = 0x312014;
constexpr int kSlowCustomerMs = 1500;
constexpr std::chrono::milliseconds kAnswerLimit(100);

struct ControlResult {
  LONG rc = SCARD_F_UNKNOWN_ERROR;
  std::vector<unsigned char> answer;
};

// One vendor request on `reader` over plain pcsc-lite, in its own context.
ControlResult ControlOn(const std::string& reader, DWORD code) {
  ControlResult result;
  SCARDCONTEXT context = 0;
  result.rc = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
  if (result.rc != SCARD_S_SUCCESS) return result;
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  result.rc = SCardConnect(context, reader.c_str(), SCARD_SHARE_DIRECT, 0, &card, &protocol);
  if (result.rc == SCARD_S_SUCCESS) {
    unsigned char answer[300];
    DWORD length = 0;
    result.rc = SCardControl(card, code, nullptr, 0, answer, sizeof answer, &length);
    if (result.rc == SCARD_S_SUCCESS) result.answer.assign(answer, answer + length);
    SCardDisconnect(card, SCARD_LEAVE_CARD);
  }
  SCardReleaseContext(context);
  return result;
}

bool Waiting(const Stack& stack, int unit) {
  return stack.Control("state", unit).find("waiting=yes") != std::string::npos;
}

class TwoReaders : public SharedStackTest {
 protected:
  void SetUp() override {
    QVX_SOCKET_LANE_ONLY(kNeedsTwoReaders);
    SharedStackTest::SetUp();
  }
};

TEST_F(TwoReaders, ReaderZeroAnswersWhileReaderOnesCustomerThinks) {
  struct Check {
    const char* name;
    std::function<bool()> run;  // true when reader 00 00 answered as it should
  };
  const std::vector<Check> checks = {
      {"CheckDevice over pcsc-lite",
       [] {
         const ControlResult result = ControlOn(ReaderName(0), kCheckDevice);
         return result.rc == SCARD_S_SUCCESS && !result.answer.empty();
       }},
      {"CheckConnection through the library",
       [] { return StatusOf(RunInProcess({"check-connection"})) == 0; }},
  };
  // The first request on each reader sets up its side in the driver; that
  // is not what is timed here.
  for (const int unit : {0, 1})
    ASSERT_EQ(ControlOn(ReaderName(unit), kCheckDevice).rc, SCARD_S_SUCCESS) << unit;

  for (const Check& check : checks) {
    SCOPED_TRACE(check.name);
    stack().Control("customer approve " + std::to_string(kSlowCustomerMs), 1);
    auto slow =
        std::async(std::launch::async, [] { return ControlOn(ReaderName(1), kGetMode2Response); });
    ASSERT_TRUE(DeviceWaits(stack(), 1));

    const auto start = Clock::now();
    const bool answered = check.run();
    const auto took = Clock::now() - start;
    const bool stillWaiting = Waiting(stack(), 1);

    EXPECT_TRUE(answered);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(),
              kAnswerLimit.count())
        << "ms for the answer of reader 00 00";
    EXPECT_TRUE(stillWaiting) << "reader 01 00's customer answered before the check ended";
    EXPECT_FALSE(Waiting(stack(), 0));

    ASSERT_EQ(slow.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const ControlResult mode2 = slow.get();
    EXPECT_EQ(mode2.rc, SCARD_S_SUCCESS) << pcsc_stringify_error(mode2.rc);
    EXPECT_EQ(mode2.answer.size(), 8u);
  }
}

}  // namespace
}  // namespace qvx::testing
