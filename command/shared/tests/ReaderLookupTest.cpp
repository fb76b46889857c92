// The connect both hosts reach the device with: when it tries again, when
// the holder of a busy reader is asked to give way, and what it leaves.
#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "FakeSCard.h"
#include "command/ReaderLookup.h"

namespace qvx {
namespace {

constexpr const char* kReader = "Meridel Quorvex2_Reader 0";

struct ConnectCase {
  const char* name;
  std::deque<LONG> results;  // per attempt; an empty queue succeeds
  LONG expected;
  std::size_t attempts;
  int asks;  // how often the holder was asked to give way
};

void PrintTo(const ConnectCase& c, std::ostream* os) { *os << c.name; }
std::string CaseName(const ::testing::TestParamInfo<ConnectCase>& c) { return c.param.name; }

class ConnectTest : public ::testing::TestWithParam<ConnectCase> {
 protected:
  testing::FakeSCard fake;
  SCARDCONTEXT context = 0;
  void SetUp() override {
    ASSERT_EQ(fake.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context), SCARD_S_SUCCESS);
  }
};

TEST_P(ConnectTest, RetriesOnlyWhileTheReaderIsHeld) {
  const ConnectCase& c = GetParam();
  fake.connectResults = c.results;
  int asks = 0;
  SCARDHANDLE card = 0x55;

  EXPECT_EQ(ConnectDirectShare(fake, context, kReader, card, [&] { ++asks; }), c.expected);

  EXPECT_EQ(fake.CallsTo("Connect").size(), c.attempts);
  EXPECT_EQ(asks, c.asks);
  EXPECT_EQ(card != 0, c.expected == SCARD_S_SUCCESS);
  EXPECT_EQ(fake.OpenCards(), c.expected == SCARD_S_SUCCESS ? 1 : 0);
  for (const auto& call : fake.CallsTo("Connect")) {
    EXPECT_EQ(call.reader, kReader);
    EXPECT_EQ(call.shareMode, static_cast<DWORD>(SCARD_SHARE_DIRECT));
  }
}

const LONG kBusy = static_cast<LONG>(SCARD_E_SHARING_VIOLATION);
const LONG kGone = static_cast<LONG>(SCARD_E_READER_UNAVAILABLE);

INSTANTIATE_TEST_SUITE_P(
    Attempts, ConnectTest,
    ::testing::Values(
        ConnectCase{"FreeReader", {}, SCARD_S_SUCCESS, 1, 0},
        ConnectCase{"FreedAfterTheAsk", {kBusy}, SCARD_S_SUCCESS, 2, 1},
        ConnectCase{"FreedAtTheLastAttempt", {kBusy, kBusy, kBusy, kBusy}, SCARD_S_SUCCESS, 5, 1},
        ConnectCase{"HeldThroughout", {kBusy, kBusy, kBusy, kBusy, kBusy}, kBusy, 5, 1},
        ConnectCase{"OtherFailureAtOnce", {kGone}, kGone, 1, 0},
        ConnectCase{"OtherFailureAfterTheAsk", {kBusy, kGone}, kGone, 2, 1}),
    CaseName);

}  // namespace
}  // namespace qvx
