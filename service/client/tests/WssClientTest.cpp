// The client against the service's own endpoint, in process: messages both
// ways, the server's close, and the refusals a caller must be able to tell
// apart.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <boost/asio/ip/tcp.hpp>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "PrivateDir.h"
#include "client/WssClient.h"
#include "command/Log.h"
#include "endpoint/WssServer.h"

namespace {

using namespace std::chrono_literals;
using qvx::client::ClientError;
using qvx::client::ClientOptions;
using qvx::client::CWssClient;

class WssClient : public ::testing::Test {
 protected:
  void SetUp() override {
    qvx::endpoint::WssSettings settings;
    settings.ports = {0};
    settings.pemDirectory = QVX_TEST_PEM_DIR;
    m_server = std::make_unique<qvx::endpoint::CWssServer>(0, std::move(settings));
    m_thread = std::thread([this] { m_server->Run(); });
    for (int i = 0; i < 1000 && m_server->ServingPort() == 0; ++i)
      std::this_thread::sleep_for(10ms);
    ASSERT_NE(m_server->ServingPort(), 0);
    m_options.port = m_server->ServingPort();
    m_options.timeout = 10s;
  }

  void TearDown() override {
    if (m_server) m_server->Stop();
    if (m_thread.joinable()) m_thread.join();
    m_server.reset();
  }

  // The endpoint's log lines stay in this test's directory.
  qvx::testing::PrivateDir m_dirs{"qvx-client", qvx::testing::PrivateDir::Places::kPlatform};
  std::unique_ptr<qvx::endpoint::CWssServer> m_server;
  std::thread m_thread;
  ClientOptions m_options;
};

TEST_F(WssClient, ExchangesMessagesUntilTheServerCloses) {
  m_options.caFile = std::string(QVX_TEST_PEM_DIR) + "/brixwssvr.pem";  // verified, not just used
  CWssClient client(m_options);
  EXPECT_EQ(client.Port(), m_options.port);

  client.SendBinary(std::string("\x00\xff", 2));
  client.SendText(R"({"Name":1})");
  ASSERT_TRUE(client.Ping(10s));
  ASSERT_EQ(m_server->Queue().Size(), 2u);  // the pong came after both
  auto binary = m_server->Queue().Take();
  auto text = m_server->Queue().Take();
  ASSERT_TRUE(binary && text);
  EXPECT_EQ(binary->payload, std::string("\x00\xff", 2));
  EXPECT_EQ(text->payload, R"({"Name":1})");

  text->handle.lock()->SendText("Status=0\nStatusDescription=Success");
  EXPECT_EQ(client.Receive(10s), "Status=0\nStatusDescription=Success");
  EXPECT_FALSE(client.Closed());

  text->handle.lock()->Close(1007, "");
  const auto closed = client.WaitClosed(10s);
  EXPECT_EQ(closed.code, 1007);
  EXPECT_EQ(client.Receive(10ms), std::nullopt);
  EXPECT_THROW(client.Request(R"({"Name":1})"), std::runtime_error);
}

TEST_F(WssClient, RefusalsCarryTheirHttpStatus) {
  boost::asio::io_context io;
  boost::asio::ip::tcp::acceptor probe(
      io, boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0));
  const std::uint16_t closedPort = probe.local_endpoint().port();
  probe.close();  // nothing listens there any more

  struct Case {
    const char* what;
    std::string origin;
    std::string source;
    std::uint16_t port;
    int status;
  };
  const Case cases[] = {
      {"wrong origin", "https://www.example.org", "", m_options.port, 400},
      {"no origin", "", "", m_options.port, 400},
      {"peer not 127.0.0.1", m_options.origin, "127.0.0.2", m_options.port, 400},
      {"nobody listening", m_options.origin, "", closedPort, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClientOptions options = m_options;
    options.origin = c.origin;
    options.sourceAddress = c.source;
    options.port = c.port;
    try {
      CWssClient client(options);
      ADD_FAILURE() << "connected";
    } catch (const ClientError& error) {
      EXPECT_EQ(error.HttpStatus(), c.status) << error.what();
    }
  }

  // The refusal was for the address the client bound.
  std::ifstream logFile(qvx::WSSLogFilePath());
  std::stringstream log;
  log << logFile.rdbuf();
  EXPECT_NE(log.str().find("[WSS] Connection from invalid IP: 127.0.0.2"), std::string::npos)
      << log.str();

  const auto first = qvx::client::ConnectFirst({closedPort, m_options.port}, m_options);
  EXPECT_EQ(first->Port(), m_options.port);
  EXPECT_THROW(qvx::client::ConnectFirst({closedPort}, m_options), ClientError);
}

}  // namespace
