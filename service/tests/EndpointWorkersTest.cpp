// The endpoint with its command workers over real TLS sockets: the request of
// a page that closes while it waits behind a busy worker still runs (it may
// be the Cancel the page sent as it left), its reply goes nowhere, and the
// worker goes on with the next.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "ProtocolFixture.h"
#include "RawWssClient.h"
#include "endpoint/WssServer.h"

namespace qvx::testing {
namespace {

using qvx::endpoint::CWssServer;
using qvx::endpoint::WssSettings;

const std::string kOrigin = "Origin: https://www.brixbank.example\r\n";
const std::string kCheckConnection = R"({"Name":1})";
// The server may wait out its TLS shutdown limit (5 s) before it lets go of
// a socket whose page left without a TLS close.
constexpr std::chrono::seconds kSocketEnd{30};

class EndpointWorkers : public ProtocolFixture {
 protected:
  void SetUp() override {
    holdConnects = true;
    WssSettings settings;
    settings.ports = {0};
    settings.pemDirectory = QVX_TEST_PEM_DIR;
    settings.commandFactory = Factory();
    m_server = std::make_unique<CWssServer>(1, std::move(settings));
    m_thread = std::thread([this] { m_server->Run(); });
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (m_server->ServingPort() == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_NE(m_server->ServingPort(), 0);
  }

  void TearDown() override {
    gate.Open();  // the worker must not stay in a command
    m_server->Stop();
    if (m_thread.joinable()) m_thread.join();
    m_server.reset();
    ProtocolFixture::TearDown();
  }

  std::unique_ptr<RawClient> Connect() {
    auto client = std::make_unique<RawClient>(m_server->ServingPort());
    client->Write(Upgrade(kOrigin));
    EXPECT_EQ(client->ReadHead().first, 101);
    return client;
  }

  bool WaitQueued(std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (m_server->Queue().Size() < count && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return m_server->Queue().Size() == count;
  }

  std::unique_ptr<CWssServer> m_server;
  std::thread m_thread;
};

TEST_F(EndpointWorkers, RequestOfAClosedPageRunsWithoutAReply) {
  const auto busy = Connect();
  busy->Write(ClientFrame(0x1, kCheckConnection));
  ASSERT_TRUE(gate.WaitEntered(1));  // the one worker holds this command

  const auto leaving = Connect();
  leaving->Write(ClientFrame(0x1, kCheckConnection));
  ASSERT_TRUE(WaitQueued(1));
  // The page leaves: closing handshake (code 1000, echoed), then the end of
  // its socket. The server lets go of its socket only once its close
  // handler has run, so the end of the stream means the queued message's
  // connection is gone.
  leaving->Write(ClientFrame(0x8, std::string("\x03\xe8", 2)));
  EXPECT_EQ(leaving->ReadExactly(4), std::string("\x88\x02\x03\xe8", 4));
  ASSERT_TRUE(leaving->HalfCloseAndWaitForEnd(kSocketEnd));

  gate.Open();
  EXPECT_EQ(busy->ReadFramePayload().rfind("Status=", 0), 0u);
  // One worker takes messages oldest first: once this one is answered, the
  // closed page's message has been dealt with.
  busy->Write(ClientFrame(0x1, kCheckConnection));
  EXPECT_EQ(busy->ReadFramePayload().rfind("Status=", 0), 0u);
  ASSERT_TRUE(m_server->WaitIdle(kPatience));

  EXPECT_EQ(m_server->Queue().Size(), 0u);
  EXPECT_EQ(gate.Entered(), 3);  // the closed page's command ran as well
  EXPECT_EQ(Fakes().size(), 3u);
}

}  // namespace
}  // namespace qvx::testing
