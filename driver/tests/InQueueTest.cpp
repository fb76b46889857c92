// The IN queue under a USB lower edge: which transfer goes to the device,
// which packet to which read, and what a cancel, an abort or a failure
// leaves for the next read.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "FunctionCompletion.h"
#include "transport/InQueue.h"

namespace qvx::driver {
namespace {

using qvx::testing::InFunction;

Packet P(std::uint8_t first) { return Packet{first, 0, 0, 0, 0, 0, 0, 0}; }

constexpr unsigned kAll = (1u << CInQueue::kDepth) - 1;

// What the reads got, and the steps run as an edge runs them.
class QueueDriver {
 public:
  // A read; the status Read returned.
  NTSTATUS Read() {
    InStep step;
    const NTSTATUS status = m_queue.Read(InFunction([this](NTSTATUS s, const Packet& p) {
                                           m_got.push_back({s, p});
                                         }),
                                         step);
    Take(step);
    return status;
  }
  void Complete(std::size_t slot, NTSTATUS status, const Packet& packet = Packet{}) {
    InStep step;
    m_queue.Completed(slot, status, packet, step);
    Take(step);
  }
  bool Cancel() {
    InStep step;
    const bool atDevice = m_queue.Cancel(step);
    Take(step);
    return atDevice;
  }
  bool Abort() {
    InStep step;
    const bool atDevice = m_queue.Abort(step);
    Take(step);
    return atDevice;
  }
  // The transfers submitted since the last call.
  unsigned TakeSubmitted() { return std::exchange(m_submitted, 0u); }
  std::vector<std::pair<NTSTATUS, Packet>> TakeGot() { return std::exchange(m_got, {}); }
  CInQueue& Queue() { return m_queue; }

 private:
  void Take(InStep& step) {
    m_submitted |= step.submit;
    if (step.reader) step.reader(step.status, step.packet);
  }

  CInQueue m_queue;
  unsigned m_submitted = 0;
  std::vector<std::pair<NTSTATUS, Packet>> m_got;
};

using Got = std::vector<std::pair<NTSTATUS, Packet>>;

TEST(InQueueTest, PacketsReachTheReadsInTheOrderTheDeviceSentThem) {
  QueueDriver q;
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  EXPECT_EQ(q.TakeSubmitted(), kAll);
  EXPECT_EQ(q.Read(), STATUS_INVALID_DEVICE_STATE);  // one read at a time

  q.Complete(2, STATUS_SUCCESS, P(0xA));
  EXPECT_EQ(q.TakeGot(), (Got{{STATUS_SUCCESS, P(0xA)}}));
  EXPECT_EQ(q.TakeSubmitted(), 1u << 2);  // back to the device at once
  // Nobody reads: the next ones wait in their transfers, off the device.
  q.Complete(0, STATUS_SUCCESS, P(0xB));
  q.Complete(3, STATUS_SUCCESS, P(0xC));
  q.Complete(1, STATUS_SUCCESS, P(0xD));
  EXPECT_TRUE(q.TakeGot().empty());
  EXPECT_EQ(q.TakeSubmitted(), 0u);
  EXPECT_EQ(q.Queue().Submitted(), 1u);

  for (const int want : {0xB, 0xC, 0xD}) {
    ASSERT_EQ(q.Read(), STATUS_SUCCESS);
    EXPECT_EQ(q.TakeGot(), (Got{{STATUS_SUCCESS, P(static_cast<std::uint8_t>(want))}}));
  }
  EXPECT_EQ(q.TakeSubmitted(), (1u << 0) | (1u << 3) | (1u << 1));
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  EXPECT_TRUE(q.TakeGot().empty());  // waits for the device
}

TEST(InQueueTest, ACancelEndsTheReadWhenItsTransfersAreBackAndKeepsWhatWasRead) {
  QueueDriver q;
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  q.TakeSubmitted();
  q.Complete(0, STATUS_SUCCESS, P(0xA));
  q.Complete(1, STATUS_SUCCESS, P(0xB));  // read ahead, nobody reading
  q.TakeGot();
  q.TakeSubmitted();
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);  // takes B
  EXPECT_EQ(q.TakeGot(), (Got{{STATUS_SUCCESS, P(0xB)}}));
  q.TakeSubmitted();
  q.Complete(2, STATUS_SUCCESS, P(0xC));  // waits for the next read
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  q.TakeGot();
  q.TakeSubmitted();

  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  EXPECT_TRUE(q.Cancel());
  EXPECT_TRUE(q.TakeGot().empty()) << "transfers are still at the device";
  // One of them came back with a packet while the cancel was under way:
  // the read gets it, and nothing goes back to the device.
  q.Complete(3, STATUS_SUCCESS, P(0xD));
  EXPECT_EQ(q.TakeGot(), (Got{{STATUS_SUCCESS, P(0xD)}}));
  EXPECT_EQ(q.TakeSubmitted(), 0u);
  // The rest end cancelled, and the read with the last of them.
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  q.TakeSubmitted();
  q.Cancel();
  for (const std::size_t slot : {0u, 1u, 2u}) q.Complete(slot, STATUS_CANCELLED);
  EXPECT_TRUE(q.TakeGot().empty()) << "the read ends when the last one is back";
  q.Complete(3, STATUS_CANCELLED);
  EXPECT_EQ(q.TakeGot(), (Got{{STATUS_CANCELLED, Packet{}}}));
  EXPECT_EQ(q.Queue().Submitted(), 0u);
  EXPECT_EQ(q.TakeSubmitted(), 0u);

  // A packet read while nobody waited outlives a cancel of the pipe.
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  EXPECT_EQ(q.TakeSubmitted(), kAll) << "a read after the cancel starts the device again";
  q.Complete(0, STATUS_SUCCESS, P(0xE));
  q.TakeGot();
  q.Complete(1, STATUS_SUCCESS, P(0xF));
  EXPECT_TRUE(q.Cancel());
  for (const std::size_t slot : {0u, 2u, 3u}) q.Complete(slot, STATUS_CANCELLED);
  EXPECT_TRUE(q.TakeGot().empty());
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  EXPECT_EQ(q.TakeGot(), (Got{{STATUS_SUCCESS, P(0xF)}}));
}

TEST(InQueueTest, ACancelWithNothingAtTheDeviceEndsTheReadAtOnce) {
  QueueDriver q;
  EXPECT_FALSE(q.Cancel());  // nothing to end
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  q.Cancel();
  for (std::size_t slot = 0; slot < CInQueue::kDepth; ++slot) q.Complete(slot, STATUS_CANCELLED);
  EXPECT_EQ(q.TakeGot(), (Got{{STATUS_CANCELLED, Packet{}}}));
}

TEST(InQueueTest, ATransferCancelledForAnEarlierReadGoesBackForTheNextOne) {
  QueueDriver q;
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  q.Cancel();
  for (std::size_t slot = 1; slot < CInQueue::kDepth; ++slot) q.Complete(slot, STATUS_CANCELLED);
  q.Complete(0, STATUS_SUCCESS, P(0xA));  // the read ends with it
  EXPECT_EQ(q.TakeGot(), (Got{{STATUS_SUCCESS, P(0xA)}}));
  q.TakeSubmitted();
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  EXPECT_EQ(q.TakeSubmitted(), kAll);
  // An abort of the pipe queued by the old cancel meets the new transfers.
  q.Complete(1, STATUS_CANCELLED);
  EXPECT_EQ(q.TakeSubmitted(), 1u << 1);
  EXPECT_TRUE(q.TakeGot().empty());
}

TEST(InQueueTest, AnAbortDropsWhatWasReadAndEndsEveryLaterRead) {
  QueueDriver q;
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  q.Complete(0, STATUS_SUCCESS, P(0xA));
  q.Complete(1, STATUS_SUCCESS, P(0xB));
  q.TakeGot();
  EXPECT_TRUE(q.Abort());
  q.Complete(2, STATUS_SUCCESS, P(0xC));  // completing while aborted: dropped too
  for (const std::size_t slot : {0u, 3u}) q.Complete(slot, STATUS_CANCELLED);
  EXPECT_EQ(q.Queue().Submitted(), 0u);
  EXPECT_EQ(q.Read(), STATUS_INVALID_DEVICE_STATE);
  EXPECT_TRUE(q.TakeGot().empty());
}

TEST(InQueueTest, AFailureWhileNobodyReadsEndsTheNextReadAfterThePacketsBeforeIt) {
  QueueDriver q;
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  q.Complete(0, STATUS_SUCCESS, P(0xA));
  q.TakeGot();
  q.TakeSubmitted();
  q.Complete(1, STATUS_SUCCESS, P(0xB));
  q.Complete(2, STATUS_DEVICE_REMOVED);
  q.Complete(3, STATUS_DEVICE_REMOVED);  // only the first failure is kept
  EXPECT_EQ(q.TakeSubmitted(), 0u);

  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  EXPECT_EQ(q.TakeGot(), (Got{{STATUS_SUCCESS, P(0xB)}}));
  EXPECT_EQ(q.Read(), STATUS_DEVICE_REMOVED);
  EXPECT_TRUE(q.TakeGot().empty()) << "a read that fails runs no completion";
  ASSERT_EQ(q.Read(), STATUS_SUCCESS) << "the failure is reported once";
}

TEST(InQueueTest, AFailureEndsTheWaitingReadAndStopsTheQueue) {
  QueueDriver q;
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  q.TakeSubmitted();
  q.Complete(1, STATUS_UNSUCCESSFUL);
  EXPECT_EQ(q.TakeGot(), (Got{{STATUS_UNSUCCESSFUL, Packet{}}}));
  q.Complete(0, STATUS_SUCCESS, P(0xA));  // kept for the next read, not resubmitted
  EXPECT_EQ(q.TakeSubmitted(), 0u);
  ASSERT_EQ(q.Read(), STATUS_SUCCESS);
  EXPECT_EQ(q.TakeGot(), (Got{{STATUS_SUCCESS, P(0xA)}}));
}

}  // namespace
}  // namespace qvx::driver
