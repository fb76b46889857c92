// The WebSocket endpoint over real TLS sockets on 127.0.0.1: the handshake
// admission, the page for plain requests, the hand-over of messages to the
// queue with replies and closes going back, and the port fallback.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PrivateDir.h"
#include "RawWssClient.h"
#include "command/Log.h"
#include "endpoint/WssServer.h"

namespace {

namespace asio = boost::asio;
using qvx::endpoint::CWssServer;
using qvx::endpoint::WssSettings;

constexpr auto kPatience = std::chrono::seconds(10);

using qvx::testing::ClientFrame;
using qvx::testing::RawClient;
using qvx::testing::Upgrade;

class EndpointServer : public ::testing::Test {
 protected:
  void TearDown() override { StopServer(); }

  void StartServer(std::vector<std::uint16_t> ports) {
    WssSettings settings;
    settings.ports = std::move(ports);
    settings.pemDirectory = QVX_TEST_PEM_DIR;
    m_server = std::make_unique<CWssServer>(0, std::move(settings));
    m_thread = std::thread([this] { m_served = m_server->Run(); });
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (m_server->ServingPort() == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_NE(m_server->ServingPort(), 0);
  }

  void StopServer() {
    if (!m_server) return;
    m_server->Stop();
    if (m_thread.joinable()) m_thread.join();
  }

  std::string LogText() const {
    std::ifstream file(qvx::WSSLogFilePath());
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  qvx::testing::PrivateDir m_dirs{"qvx-wss", qvx::testing::PrivateDir::Places::kPlatform};
  std::unique_ptr<CWssServer> m_server;
  std::thread m_thread;
  bool m_served = false;
};

TEST_F(EndpointServer, HandshakeAdmission) {
  StartServer({0});
  struct Case {
    const char* originHeader;
    int status;
    const char* logged;  // expected log text, or nullptr for none
  };
  const Case cases[] = {
      {"Origin: https://www.brixbank.example\r\n", 101, nullptr},
      {"Origin: https://online.brixonline.example:443\r\n", 101, nullptr},
      {"Origin: http://www.brixbank.example\r\n", 400,
       "[WSS] Connection from invalid origin: http://www.brixbank.example"},
      {"Origin: https://brixbank.example\r\n", 400,
       "[WSS] Connection from invalid origin: https://brixbank.example"},
      {"Origin: null\r\n", 400, "[WSS] Connection from invalid origin: null"},
      {"", 400, "[WSS] Connection from invalid origin: \n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.originHeader);
    RawClient client(m_server->ServingPort());
    client.Write(Upgrade(c.originHeader));
    const auto [status, head] = client.ReadHead();
    EXPECT_EQ(status, c.status) << head;
    EXPECT_NE(head.find("Server: BrixWSSvr\r\n"), std::string::npos) << head;
    if (c.logged) {
      EXPECT_NE(LogText().find(c.logged), std::string::npos) << LogText();
    }
  }
  EXPECT_EQ(LogText().find("invalid IP"), std::string::npos);
}

TEST_F(EndpointServer, PlainRequestGetsThePageWithStatus500) {
  StartServer({0});
  RawClient client(m_server->ServingPort());
  // No Origin: the checks apply to WebSocket handshakes only.
  client.Write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  const auto [status, head] = client.ReadHead();
  EXPECT_EQ(status, 500) << head;
  EXPECT_NE(head.find("Server: BrixWSSvr\r\n"), std::string::npos) << head;
  const std::string page = qvx::endpoint::HttpPageBody();
  EXPECT_NE(page.find("[Version: 02.20 / Release: 18-AUG-2023]"), std::string::npos);
  EXPECT_EQ(client.ReadExactly(page.size()), page);
}

TEST_F(EndpointServer, MessagesAreQueuedAndAnsweredThroughTheirHandle) {
  StartServer({0});
  RawClient client(m_server->ServingPort());
  client.Write(Upgrade("Origin: https://www.brixbank.example\r\n"));
  ASSERT_EQ(client.ReadHead().first, 101);

  struct Case {
    unsigned char opcode;
    std::string payload;
  };
  const Case cases[] = {{0x1, R"({"Name":1})"}, {0x2, std::string("\x00\xff{", 3)}};
  for (const Case& c : cases) {
    client.Write(ClientFrame(c.opcode, c.payload));
    const auto message = m_server->Queue().Take();
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->payload, c.payload);  // text and binary alike
    const auto handle = message->handle.lock();
    ASSERT_NE(handle, nullptr);
    handle->SendText("Status=0");
    EXPECT_EQ(client.ReadExactly(10), std::string("\x81\x08Status=0", 10));
  }

  client.Write(ClientFrame(0x1, "bad"));
  const auto message = m_server->Queue().Take();
  ASSERT_TRUE(message.has_value());
  message->handle.lock()->Close(qvx::protocol::kCloseInvalidPayload, "");
  // Close frame with status 1007 (0x03EF) and no reason.
  EXPECT_EQ(client.ReadExactly(4), std::string("\x88\x02\x03\xef", 4));
}

// A stop leaves a connection in a worker's hands usable until the server
// itself goes; a message still queued finds its connection gone.
TEST_F(EndpointServer, StopWithMessagesStillQueued) {
  StartServer({0});
  RawClient client(m_server->ServingPort());
  client.Write(Upgrade("Origin: https://www.brixbank.example\r\n"));
  ASSERT_EQ(client.ReadHead().first, 101);
  client.Write(ClientFrame(0x1, "first") + ClientFrame(0x1, "second"));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (m_server->Queue().Size() < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(m_server->Queue().Size(), 2u);

  auto taken = m_server->Queue().Take();
  ASSERT_TRUE(taken.has_value());
  EXPECT_EQ(taken->payload, "first");
  auto inHand = taken->handle.lock();  // held as a worker holds it
  ASSERT_NE(inHand, nullptr);
  StopServer();
  EXPECT_TRUE(m_served);
  EXPECT_EQ(m_server->ServingPort(), 0);
  inHand->SendText("late");  // the loop is gone: dropped, no failure

  // The server no longer owns the connection: the worker's hold is the last.
  const auto queued = m_server->Queue().Take();
  ASSERT_TRUE(queued.has_value());
  EXPECT_EQ(queued->payload, "second");
  EXPECT_EQ(queued->handle.lock(), inHand);
  inHand.reset();
  EXPECT_TRUE(queued->handle.expired());
  m_server.reset();
}

// Pages that closed just before the stop are still in their TLS close (the
// server waits up to 5 s for the browser's close notice there): each page
// still open gets its going-away close all the same. Several of each, as the
// order the server meets them in is not fixed.
TEST_F(EndpointServer, StopSaysGoingAwayToEveryOpenPageWhileOthersFinishTheirClose) {
  StartServer({0});
  const std::string upgrade = Upgrade("Origin: https://www.brixbank.example\r\n");
  const std::string normal("\x03\xe8", 2);
  std::vector<std::unique_ptr<RawClient>> closing;
  std::vector<std::unique_ptr<RawClient>> waiting;
  for (int i = 0; i < 4; ++i) {
    closing.push_back(std::make_unique<RawClient>(m_server->ServingPort()));
    closing.back()->Write(upgrade);
    ASSERT_EQ(closing.back()->ReadHead().first, 101);
    closing.back()->Write(ClientFrame(0x8, normal));
    ASSERT_EQ(closing.back()->ReadFramePayload(), normal);  // the close's answer; TCP stays
  }
  for (int i = 0; i < 4; ++i) {
    waiting.push_back(std::make_unique<RawClient>(m_server->ServingPort()));
    waiting.back()->Write(upgrade);
    ASSERT_EQ(waiting.back()->ReadHead().first, 101);
    waiting.back()->Write(ClientFrame(0x1, "waiting"));
  }
  // Messages are taken from open connections only: all four are open.
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (m_server->Queue().Size() < 4 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(m_server->Queue().Size(), 4u);

  StopServer();
  for (std::size_t i = 0; i < waiting.size(); ++i) {
    EXPECT_EQ(waiting[i]->ReadExactlyWithin(4, kPatience), std::string("\x88\x02\x03\xe9", 4))
        << "page " << i;
  }
}

TEST_F(EndpointServer, TakenPortIsSkipped) {
  asio::io_context io;
  asio::ip::tcp::acceptor taken(io,
                                asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  const std::uint16_t takenPort = taken.local_endpoint().port();
  StartServer({takenPort, 0});
  EXPECT_NE(m_server->ServingPort(), takenPort);
  const std::string log = LogText();
  const std::string expected[] = {"[WSS] Serving on port: " + std::to_string(takenPort),
                                  "[WSS] Failed!", "[WSS] Serving on port: 0"};
  std::size_t at = 0;
  for (const std::string& line : expected) {
    at = log.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << "\n" << log;
  }
  StopServer();
  EXPECT_TRUE(m_served);
}

TEST_F(EndpointServer, RunIsFalseWhenNoPortServes) {
  asio::io_context io;
  asio::ip::tcp::acceptor taken(io,
                                asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  WssSettings settings;
  settings.ports = {taken.local_endpoint().port(), taken.local_endpoint().port()};
  settings.pemDirectory = QVX_TEST_PEM_DIR;
  CWssServer server(0, std::move(settings));
  EXPECT_FALSE(server.Run());
  EXPECT_EQ(server.ServingPort(), 0);
}

TEST_F(EndpointServer, StopBeforeRunStartsNoEndpoint) {
  WssSettings settings;
  settings.ports = {0};
  settings.pemDirectory = QVX_TEST_PEM_DIR;
  CWssServer server(0, std::move(settings));
  server.Stop();
  EXPECT_TRUE(server.Run());
  EXPECT_EQ(LogText().find("Serving on port"), std::string::npos);
}

}  // namespace
