// The session's replies over a scripted reader: refusals that keep the
// session alive, the id going back, and one request at a time.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeSCard.h"
#include "PrivateDir.h"
#include "command/Quorvex2.h"
#include "nmhost/Session.h"

namespace qvx::nmhost {
namespace {

using qvx::testing::FakeSCard;
using qvx::testing::PrivateDir;

class SessionTest : public ::testing::Test {
 protected:
  // No reader at all unless a test adds one: commands answer status 2.
  std::unique_ptr<CSession> MakeSession() {
    return std::make_unique<CSession>([this] { return std::make_unique<CQuorvex2>(m_scard); },
                                      [this](const std::string& json) {
                                        std::lock_guard<std::mutex> lock(m_mutex);
                                        m_replies.push_back(json);
                                        m_changed.notify_all();
                                      });
  }

  std::vector<std::string> WaitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_replies.size() >= count; });
    return m_replies;
  }

  PrivateDir m_dir{"qvx-nm", PrivateDir::Places::kPlatform};
  FakeSCard m_scard;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::string> m_replies;
};

TEST_F(SessionTest, RefusedRequestsGetAClearErrorAndTheSessionGoesOn) {
  struct Case {
    const char* name;
    std::string message;
    std::string reply;
  } cases[] = {
      {"invalid UTF-8", "{\"Name\":\xFF}", R"({"Error":"Request is not UTF-8 text."})"},
      {"not JSON", "hello", R"({"Error":"Request is not a JSON object."})"},
      {"JSON but no object", "[1]", R"({"Error":"Request is not a JSON object."})"},
      {"empty", "", R"({"Error":"Request is not a JSON object."})"},
      {"id not an integer", R"({"id":"x","Name":1})",
       R"({"Error":"Request id is not an integer."})"},
      {"unknown command", R"({"id":7,"Name":9})",
       R"({"id":7,"Error":"Request is not supported."})"},
      {"no Name", R"({"id":8})", R"({"id":8,"Error":"Request is not supported."})"},
      {"wrong parameter count", R"({"id":9,"Name":1,"Params":["x"]})",
       R"({"id":9,"Error":"Request is not supported."})"},
      {"Cancel with a parameter", R"({"id":10,"Name":7,"Params":["x"]})",
       R"({"id":10,"Error":"Request is not supported."})"},
  };
  auto session = MakeSession();
  std::size_t count = 0;
  for (const Case& c : cases) {
    session->Handle(c.message);
    const auto replies = WaitFor(++count);
    ASSERT_EQ(replies.size(), count) << c.name;
    EXPECT_EQ(replies.back(), c.reply) << c.name;
  }
  // Still answering after every refusal.
  session->Handle(R"({"id":11,"Name":1})");
  const auto replies = WaitFor(++count);
  ASSERT_EQ(replies.size(), count);
  EXPECT_EQ(replies.back().rfind(R"({"id":11,"Result":"Status=2\nStatusDescription=Device not)", 0),
            0u)
      << replies.back();
}

TEST_F(SessionTest, CancelAnswersWithTheEmptyText) {
  auto session = MakeSession();
  session->Handle(R"({"id":-3,"Name":7})");
  EXPECT_EQ(WaitFor(1).at(0), R"({"id":-3,"Result":""})");
}

TEST_F(SessionTest, ASecondRequestWhileOneRunsIsRefused) {
  // The first command's Connect waits until the test lets it go, as a device
  // waiting for its customer would.
  std::mutex gateMutex;
  std::condition_variable gate;
  bool entered = false, open = false;
  m_scard.readers = {"Meridel Quorvex2_Reader 0"};
  m_scard.onCall = [&](const FakeSCard::Call& call) {
    if (call.function != "Connect") return;
    std::unique_lock<std::mutex> lock(gateMutex);
    entered = true;
    gate.notify_all();
    gate.wait(lock, [&] { return open; });
  };
  auto session = MakeSession();
  session->Handle(R"({"id":1,"Name":5})");
  {
    std::unique_lock<std::mutex> lock(gateMutex);
    ASSERT_TRUE(gate.wait_for(lock, std::chrono::seconds(10), [&] { return entered; }));
  }
  EXPECT_TRUE(session->Busy());
  session->Handle(R"({"id":2,"Name":1})");
  auto replies = WaitFor(1);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].rfind(R"({"id":2,"Error":"A request is already running)", 0), 0u)
      << replies[0];
  {
    std::lock_guard<std::mutex> lock(gateMutex);
    open = true;
  }
  gate.notify_all();
  replies = WaitFor(2);
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1].rfind(R"({"id":1,"Result":"Status=)", 0), 0u) << replies[1];
  EXPECT_FALSE(session->Busy());
}

TEST(Replies, ResultTextsBecomeValidJson) {
  EXPECT_EQ(JsonString("Status=0\nStatusDescription=Success"),
            R"("Status=0\nStatusDescription=Success")");
  EXPECT_EQ(JsonString("a\"b\\c\td\r\x01"), R"("a\"b\\c\td\r\u0001")");
  // A byte beyond ASCII is taken as Latin-1, never sent as broken UTF-8.
  EXPECT_EQ(JsonString("\xE9"), R"("\u00E9")");
  EXPECT_EQ(ErrorReply("", "x"), R"({"Error":"x"})");
  EXPECT_EQ(ResultReply("42", ""), R"({"id":42,"Result":""})");
}

}  // namespace
}  // namespace qvx::nmhost
