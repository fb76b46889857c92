// The command queue and its workers: replies and closes reach the right
// connection, the pool bounds the requests in progress, Stop ends it.
#include <thread>

#include "ProtocolFixture.h"
#include "protocol/CommandQueue.h"
#include "protocol/CommandWorkers.h"

namespace qvx::testing {
namespace {

using qvx::protocol::CCommandQueue;
using qvx::protocol::CCommandWorkers;

class QueueWorkersTest : public ProtocolFixture {
 protected:
  void Send(const std::shared_ptr<FakeConnection>& connection, std::string payload) {
    queue.Enqueue(std::move(payload), connection);
  }

  CCommandQueue queue;
};

TEST_F(QueueWorkersTest, AcceptedRequestGetsOneTextReply) {
  CCommandWorkers workers(queue, Factory(), 2);
  auto connection = std::make_shared<FakeConnection>();
  Send(connection, R"({"Name":5})");

  const auto events = connection->WaitFor(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_FALSE(events[0].closed);
  EXPECT_EQ(events[0].text.rfind("Status=", 0), 0u) << events[0].text;
}

TEST_F(QueueWorkersTest, RefusedRequestClosesWith1007AndNoReply) {
  CCommandWorkers workers(queue, Factory(), 2);
  auto connection = std::make_shared<FakeConnection>();
  Send(connection, R"({"Name":1,"Params":["x"]})");

  const auto events = connection->WaitFor(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].closed);
  EXPECT_EQ(events[0].code, 1007);
  EXPECT_EQ(events[0].text, "");
}

TEST_F(QueueWorkersTest, OneWorkerTakesMessagesOldestFirst) {
  auto connection = std::make_shared<FakeConnection>();
  Send(connection, R"({"Name":0})");
  Send(connection, R"({"Name":7})");
  CCommandWorkers workers(queue, Factory(), 1);

  const auto events = connection->WaitFor(2);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(events[0].closed);
  EXPECT_FALSE(events[1].closed);
  EXPECT_EQ(events[1].text, "");
}

TEST_F(QueueWorkersTest, VanishedConnectionIsSkippedAndTheWorkerCarriesOn) {
  auto gone = std::make_shared<FakeConnection>();
  queue.Enqueue(R"({"Name":5})", std::weak_ptr<FakeConnection>(gone));
  gone.reset();
  auto alive = std::make_shared<FakeConnection>();
  Send(alive, R"({"Name":7})");
  CCommandWorkers workers(queue, Factory(), 1);

  EXPECT_EQ(alive->WaitFor(1).size(), 1u);
  ASSERT_TRUE(workers.WaitIdle(kPatience));
  // The vanished page's command ran (a Cancel must reach the device); its
  // reply had nowhere to go.
  EXPECT_EQ(Fakes().size(), 2u);
}

TEST_F(QueueWorkersTest, EleventhRequestWaitsForAFreeWorker) {
  holdConnects = true;
  CCommandWorkers workers(queue, Factory());
  GateOpener opener(gate);
  std::vector<std::shared_ptr<FakeConnection>> connections;
  for (int i = 0; i < 11; ++i) {
    connections.push_back(std::make_shared<FakeConnection>());
    Send(connections.back(), R"({"Name":1})");
  }

  ASSERT_TRUE(gate.WaitEntered(10));
  // Give a wrongly started eleventh worker the time to show up.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(gate.Entered(), 10);
  EXPECT_EQ(queue.Size(), 1u);

  gate.Open();
  for (const auto& connection : connections) {
    const auto events = connection->WaitFor(1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].closed);
    EXPECT_EQ(events[0].text.rfind("Status=", 0), 0u) << events[0].text;
  }
  EXPECT_EQ(gate.Entered(), 11);
  EXPECT_EQ(queue.Size(), 0u);
}

TEST_F(QueueWorkersTest, StopEndsIdleWorkersAndLeavesLaterMessagesAlone) {
  CCommandWorkers workers(queue, Factory());
  workers.Stop();

  auto connection = std::make_shared<FakeConnection>();
  Send(connection, R"({"Name":5})");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(connection->Events().empty());
  EXPECT_TRUE(Fakes().empty());
  workers.Stop();  // a second stop (and the destructor's) is harmless
}

TEST_F(QueueWorkersTest, StopWaitsForTheCommandInProgress) {
  holdConnects = true;
  CCommandWorkers workers(queue, Factory(), 1);
  GateOpener opener(gate);
  auto connection = std::make_shared<FakeConnection>();
  Send(connection, R"({"Name":1})");
  ASSERT_TRUE(gate.WaitEntered(1));

  // Stands in for the reader cancel the service runs before stopping.
  std::thread releaser([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.Open();
  });
  workers.Stop();
  releaser.join();

  // The command ended and its reply went out before the worker did.
  EXPECT_EQ(connection->Events().size(), 1u);
}

}  // namespace
}  // namespace qvx::testing
