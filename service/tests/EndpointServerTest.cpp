// The WebSocket endpoint over real TLS sockets on 127.0.0.1: the handshake
// admission, the page for plain requests, the hand-over of messages to the
// queue with replies and closes going back, and the port fallback.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "PrivateDir.h"
#include "command/Log.h"
#include "endpoint/WssServer.h"

namespace {

namespace asio = boost::asio;
using qvx::endpoint::CWssServer;
using qvx::endpoint::WssSettings;

constexpr auto kPatience = std::chrono::seconds(10);

// A TLS 1.2 client that speaks raw HTTP and WebSocket frames, so each test
// controls exactly what the endpoint sees.
class RawClient {
 public:
  explicit RawClient(unsigned short port)
      : m_context(asio::ssl::context::tlsv12_client), m_stream(m_io, m_context) {
    m_stream.lowest_layer().connect(
        asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    m_stream.handshake(asio::ssl::stream_base::client);
  }

  void Write(const std::string& bytes) { asio::write(m_stream, asio::buffer(bytes)); }

  // Status code and the whole head of the HTTP response.
  std::pair<int, std::string> ReadHead() {
    asio::read_until(m_stream, m_buffer, "\r\n\r\n");
    std::string all(asio::buffers_begin(m_buffer.data()), asio::buffers_end(m_buffer.data()));
    const std::size_t end = all.find("\r\n\r\n") + 4;
    m_buffer.consume(end);
    const std::string head = all.substr(0, end);
    return {std::stoi(head.substr(9, 3)), head};
  }

  std::string ReadExactly(std::size_t count) {
    std::string bytes;
    const std::size_t buffered = std::min(count, m_buffer.size());
    bytes.assign(asio::buffers_begin(m_buffer.data()),
                 asio::buffers_begin(m_buffer.data()) + static_cast<std::ptrdiff_t>(buffered));
    m_buffer.consume(buffered);
    if (bytes.size() < count) {
      std::string rest(count - bytes.size(), '\0');
      asio::read(m_stream, asio::buffer(rest));
      bytes += rest;
    }
    return bytes;
  }

 private:
  asio::io_context m_io;
  asio::ssl::context m_context;
  asio::ssl::stream<asio::ip::tcp::socket> m_stream;
  asio::streambuf m_buffer;
};

std::string Upgrade(const std::string& originHeader) {
  return "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
         originHeader + "\r\n";
}

// A short masked client frame.
std::string ClientFrame(unsigned char opcode, const std::string& payload) {
  const unsigned char mask[4] = {0x12, 0x34, 0x56, 0x78};
  std::string frame;
  frame += static_cast<char>(0x80 | opcode);
  frame += static_cast<char>(0x80 | payload.size());
  frame.append(reinterpret_cast<const char*>(mask), 4);
  for (std::size_t i = 0; i < payload.size(); ++i)
    frame += static_cast<char>(payload[i] ^ static_cast<char>(mask[i % 4]));
  return frame;
}

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
    ASSERT_NE(message->connection, nullptr);
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

// A stop leaves connections that still wait in the queue, or are in a
// worker's hands, usable until the server itself goes.
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
  StopServer();
  EXPECT_TRUE(m_served);
  EXPECT_EQ(m_server->ServingPort(), 0);
  taken->handle.lock()->SendText("late");  // the loop is gone: dropped, no failure
  taken.reset();
  m_server.reset();  // "second" is still queued
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
