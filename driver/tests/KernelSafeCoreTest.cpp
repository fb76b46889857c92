// The kernel-safe shapes the core is built from: completions, owned
// objects, threads, the clock, response data and the endpoint list.
#include <gtest/gtest.h>

#include <atomic>
#include <utility>
#include <vector>

#include "kernel/Bytes.h"
#include "kernel/Owned.h"
#include "kernel/Thread.h"
#include "kernel/Time.h"
#include "transport/LowerEdge.h"
#include "transport/Transport.h"

namespace qvx::driver {
namespace {

struct Calls {
  int count = 0;
  NTSTATUS status = STATUS_SUCCESS;
};

void Record(void* context, NTSTATUS status) {
  auto* calls = static_cast<Calls*>(context);
  ++calls->count;
  calls->status = status;
}

TEST(KernelSafeCoreTest, ACompletionRunsItsRoutineWithItsContextAndMovesLikeAPointer) {
  Calls calls;
  OutCompletion completion(&Record, &calls);
  ASSERT_TRUE(completion);
  completion(STATUS_CANCELLED);
  EXPECT_EQ(calls.count, 1);
  EXPECT_EQ(calls.status, STATUS_CANCELLED);

  // A backend tells a transfer it handed on from one still pending by the
  // moved-from completion being empty.
  OutCompletion taken = std::move(completion);
  EXPECT_FALSE(completion);  // NOLINT(bugprone-use-after-move): what is tested
  ASSERT_TRUE(taken);
  OutCompletion assigned;
  assigned = std::move(taken);
  EXPECT_FALSE(taken);  // NOLINT(bugprone-use-after-move): what is tested
  assigned(STATUS_SUCCESS);
  EXPECT_EQ(calls.count, 2);

  OutCompletion copy = assigned;
  EXPECT_TRUE(assigned) << "a copy leaves the original";
  copy = nullptr;
  EXPECT_FALSE(copy);
  EXPECT_FALSE(OutCompletion());
}

struct Counted {
  explicit Counted(int* destroyed) : m_destroyed(destroyed) {}
  virtual ~Counted() { ++*m_destroyed; }
  int* m_destroyed;
};
struct DerivedCounted : Counted {
  using Counted::Counted;
};

TEST(KernelSafeCoreTest, AnOwnedObjectIsDeletedOnceByItsLastOwner) {
  int destroyed = 0;
  {
    KOwned<DerivedCounted> made = MakeOwned<DerivedCounted>(&destroyed);
    ASSERT_TRUE(made);
    KOwned<Counted> base(std::move(made));  // as a lower edge becomes an ILowerEdge
    EXPECT_FALSE(made);                     // NOLINT(bugprone-use-after-move): what is tested
    EXPECT_EQ(destroyed, 0);
    KOwned<Counted> other;
    other = std::move(base);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);

  KOwned<Counted> released = MakeOwned<Counted>(&destroyed);
  Counted* raw = released.Release();
  EXPECT_FALSE(released);
  released.Reset(raw);
  released.Reset();
  EXPECT_EQ(destroyed, 2);
}

TEST(KernelSafeCoreTest, AThreadRunsItsRoutineAndIsJoined) {
  std::atomic<int> runs{0};
  KThread thread;
  EXPECT_FALSE(thread.Joinable());
  ASSERT_EQ(thread.Start([](void* context) { ++*static_cast<std::atomic<int>*>(context); }, &runs),
            STATUS_SUCCESS);
  EXPECT_TRUE(thread.Joinable());
  EXPECT_EQ(thread.Start([](void*) {}, nullptr), STATUS_INVALID_DEVICE_STATE)
      << "one thread per KThread until joined";
  thread.Join();
  EXPECT_FALSE(thread.Joinable());
  EXPECT_EQ(runs.load(), 1);
  thread.Join();  // a second join does nothing
  ASSERT_EQ(thread.Start([](void* context) { ++*static_cast<std::atomic<int>*>(context); }, &runs),
            STATUS_SUCCESS);
  // The destructor joins what was never joined.
}

TEST(KernelSafeCoreTest, DeadlinesCountDownToZero) {
  const std::uint64_t start = TickMs();
  EXPECT_GE(TickMs(), start);
  EXPECT_EQ(RemainingMs(start), 0u) << "a deadline that has come leaves nothing";
  EXPECT_EQ(RemainingMs(0), 0u);
  const std::uint32_t left = RemainingMs(TickMs() + 60000);
  EXPECT_GT(left, 59000u);
  EXPECT_LE(left, 60000u);
}

TEST(KernelSafeCoreTest, ResponseDataKeepsAtMostTheLongestResponse) {
  ResponseData data;
  EXPECT_TRUE(data.empty());
  const std::vector<std::uint8_t> bytes(kMaxResponseLength - 2, 0x5A);
  EXPECT_TRUE(data.Append(bytes.data(), bytes.size()));
  const std::uint8_t tail[] = {1, 2, 3, 4};
  EXPECT_FALSE(data.Append(tail, sizeof tail)) << "what does not fit is reported";
  ASSERT_EQ(data.size(), kMaxResponseLength);
  EXPECT_EQ(data[kMaxResponseLength - 2], 1);
  EXPECT_EQ(data[kMaxResponseLength - 1], 2);
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.end()).size(), kMaxResponseLength);
  data.Clear();
  EXPECT_TRUE(data.empty());
}

TEST(KernelSafeCoreTest, ByteBuffersKeepWhatFitsAndCompareByTheirBytes) {
  ByteBuffer<4> buffer{0x01, 0x02};
  EXPECT_TRUE(buffer.Append({0x03}));
  EXPECT_FALSE(buffer.Append({0x04, 0x05})) << "the fifth byte does not fit";
  EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0x01, 0x02, 0x03, 0x04}));
  EXPECT_NE(buffer, (std::vector<std::uint8_t>{0x01, 0x02, 0x03}));
  EXPECT_NE(buffer, (std::vector<std::uint8_t>{0x01, 0x02, 0x03, 0x05}));

  const std::vector<std::uint8_t> source{0xAA, 0xBB};
  const ByteView view(source);
  EXPECT_EQ(view.data(), source.data()) << "a view does not copy";
  EXPECT_TRUE(buffer.Assign(view));
  EXPECT_EQ(buffer, source);
  EXPECT_FALSE(buffer.Assign(std::vector<std::uint8_t>(5, 0x11)));
  EXPECT_EQ(buffer.size(), 4u);
  buffer.Clear();
  EXPECT_TRUE(buffer.empty());
  EXPECT_TRUE(ByteView().empty());
}

TEST(KernelSafeCoreTest, TheEndpointListKeepsTheFirstTwoPipes) {
  struct Case {
    const char* name;
    EndpointList list;
    std::vector<std::uint8_t> addresses;
  };
  const Case cases[] = {
      {"none", {}, {}},
      {"one", {{0x81, 8}}, {0x81}},
      {"two", {{0x81, 8}, {0x02, 8}}, {0x81, 0x02}},
      {"three", {{0x81, 8}, {0x02, 8}, {0x83, 64}}, {0x81, 0x02}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> addresses;
    for (const EndpointInfo& endpoint : c.list) addresses.push_back(endpoint.address);
    EXPECT_EQ(addresses, c.addresses) << c.name;
  }
  EndpointList added;
  for (int address : {0x81, 0x02, 0x03}) added.Add({static_cast<std::uint8_t>(address), 8});
  EXPECT_EQ(added.size(), EndpointList::kCapacity);
}

}  // namespace
}  // namespace qvx::driver
