// The decorator as its callers meet it: one direct connection per reader at
// a time, across handles and processes, and the reader free again whenever
// the connection ends (Disconnect, or ReleaseContext of its context).
#include <memory>
#include <string>

#include "FakeSCard.h"
#include "SyncTestSupport.h"
#include "platform/PcscResults.h"
#include "platform/linux/DirectShareSCard.h"

namespace platform {
namespace {

using pcsc_result::kNoSmartcard;
using pcsc_result::kSharingViolation;
using pcsc_result::kSuccess;
using qvx::testing::FakeSCard;
using qvx::testing::JoinChild;
using qvx::testing::ObjectNamespaceTest;
using qvx::testing::StartChild;

const char kReader[] = "Meridel Quorvex2_Reader 00 00";
const char kOtherReader[] = "Meridel Quorvex2_Reader 01 00";

// One host: its own SCard table behind its own decorator, one context.
struct Host {
  std::shared_ptr<FakeSCard> fake = std::make_shared<FakeSCard>();
  CDirectShareSCard scard{fake};
  ::SCARDCONTEXT context = 0;

  Host() {
    fake->readers = {kReader, kOtherReader};
    scard.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
  }
  ::LONG Connect(::SCARDHANDLE* card, const char* reader = kReader,
                 ::DWORD share = SCARD_SHARE_DIRECT) {
    ::DWORD protocol = 0;
    return scard.Connect(context, reader, share, 0, card, &protocol);
  }
  ::LONG TryConnect(const char* reader = kReader) {
    ::SCARDHANDLE card = 0;
    const ::LONG result = Connect(&card, reader);
    if (result == kSuccess) scard.Disconnect(card, SCARD_LEAVE_CARD);
    return result;
  }
};

class DirectShareSCardTest : public ObjectNamespaceTest {};

TEST_F(DirectShareSCardTest, ADirectConnectionExcludesOthersOfTheSameReaderOnly) {
  Host holder;
  Host newcomer;
  ::SCARDHANDLE card = 0;
  ASSERT_EQ(holder.Connect(&card), kSuccess);

  EXPECT_EQ(newcomer.TryConnect(), kSharingViolation);
  EXPECT_TRUE(newcomer.fake->CallsTo("Connect").empty()) << "refused before the layer below";
  EXPECT_EQ(holder.TryConnect(), kSharingViolation) << "a second handle of the same host";
  EXPECT_EQ(newcomer.TryConnect(kOtherReader), kSuccess);
  ::SCARDHANDLE shared = 0;
  EXPECT_EQ(newcomer.Connect(&shared, kReader, SCARD_SHARE_SHARED), kSuccess)
      << "only direct connections reserve the reader";
  newcomer.scard.Disconnect(shared, SCARD_LEAVE_CARD);

  EXPECT_EQ(holder.scard.Disconnect(card, SCARD_LEAVE_CARD), kSuccess);
  EXPECT_EQ(newcomer.TryConnect(), kSuccess);
}

TEST_F(DirectShareSCardTest, TheReaderIsFreedWhateverEndsTheConnection) {
  struct Case {
    const char* name;
    void (*end)(std::unique_ptr<Host>& holder, ::SCARDHANDLE card);
  };
  const Case cases[] = {
      {"disconnect", [](std::unique_ptr<Host>& h,
                        ::SCARDHANDLE card) { h->scard.Disconnect(card, SCARD_LEAVE_CARD); }},
      {"failed disconnect",
       [](std::unique_ptr<Host>& h, ::SCARDHANDLE card) {
         h->fake->disconnectResult = SCARD_E_INVALID_HANDLE;
         h->scard.Disconnect(card, SCARD_LEAVE_CARD);
       }},
      {"context released",
       [](std::unique_ptr<Host>& h, ::SCARDHANDLE) { h->scard.ReleaseContext(h->context); }},
      {"decorator gone", [](std::unique_ptr<Host>& h, ::SCARDHANDLE) { h.reset(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto holder = std::make_unique<Host>();
    Host newcomer;
    ::SCARDHANDLE card = 0;
    ASSERT_EQ(holder->Connect(&card), kSuccess);
    ASSERT_EQ(newcomer.TryConnect(), kSharingViolation);
    c.end(holder, card);
    EXPECT_EQ(newcomer.TryConnect(), kSuccess);
  }
}

TEST_F(DirectShareSCardTest, ReleasingAContextKeepsTheLocksOfOtherContexts) {
  Host host;
  ::SCARDCONTEXT second = 0;
  ASSERT_EQ(host.scard.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &second), kSuccess);
  ::SCARDHANDLE card = 0;
  ::DWORD protocol = 0;
  ASSERT_EQ(host.scard.Connect(second, kReader, SCARD_SHARE_DIRECT, 0, &card, &protocol), kSuccess);

  ASSERT_EQ(host.scard.ReleaseContext(host.context), kSuccess);
  Host newcomer;
  EXPECT_EQ(newcomer.TryConnect(), kSharingViolation);
  host.scard.ReleaseContext(second);
  EXPECT_EQ(newcomer.TryConnect(), kSuccess);
}

TEST_F(DirectShareSCardTest, AConnectThatFailsBelowLeavesTheReaderFree) {
  Host host;
  host.fake->connectResults = {kNoSmartcard};
  EXPECT_EQ(host.TryConnect(), kNoSmartcard);
  Host newcomer;
  EXPECT_EQ(newcomer.TryConnect(), kSuccess);
}

TEST_F(DirectShareSCardTest, AnotherProcessSeesTheReservation) {
  Host holder;
  ::SCARDHANDLE card = 0;
  ASSERT_EQ(holder.Connect(&card), kSuccess);
  const auto newcomerInChild = [] {
    Host newcomer;
    const ::LONG result = newcomer.TryConnect();
    return result == kSuccess ? 0 : result == kSharingViolation ? 1 : 2;
  };
  EXPECT_EQ(JoinChild(StartChild(newcomerInChild)), 1);
  holder.scard.Disconnect(card, SCARD_LEAVE_CARD);
  EXPECT_EQ(JoinChild(StartChild(newcomerInChild)), 0);
}

}  // namespace
}  // namespace platform
