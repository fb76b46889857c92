// A TLS 1.2 client that speaks raw HTTP and WebSocket frames, so each test
// controls exactly what the endpoint sees.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <array>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>

namespace qvx::testing {

class RawClient {
 public:
  explicit RawClient(unsigned short port)
      : m_context(boost::asio::ssl::context::tlsv12_client), m_stream(m_io, m_context) {
    m_stream.lowest_layer().connect(
        boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), port));
    m_stream.handshake(boost::asio::ssl::stream_base::client);
  }

  void Write(const std::string& bytes) { boost::asio::write(m_stream, boost::asio::buffer(bytes)); }

  // Status code and the whole head of the HTTP response.
  std::pair<int, std::string> ReadHead() {
    boost::asio::read_until(m_stream, m_buffer, "\r\n\r\n");
    std::string all(boost::asio::buffers_begin(m_buffer.data()),
                    boost::asio::buffers_end(m_buffer.data()));
    const std::size_t end = all.find("\r\n\r\n") + 4;
    m_buffer.consume(end);
    const std::string head = all.substr(0, end);
    return {std::stoi(head.substr(9, 3)), head};
  }

  std::string ReadExactly(std::size_t count) {
    std::string bytes;
    const std::size_t buffered = std::min(count, m_buffer.size());
    bytes.assign(
        boost::asio::buffers_begin(m_buffer.data()),
        boost::asio::buffers_begin(m_buffer.data()) + static_cast<std::ptrdiff_t>(buffered));
    m_buffer.consume(buffered);
    if (bytes.size() < count) {
      std::string rest(count - bytes.size(), '\0');
      boost::asio::read(m_stream, boost::asio::buffer(rest));
      bytes += rest;
    }
    return bytes;
  }

  // Like ReadExactly, but gives up after limit (a server that holds the
  // socket open without sending): what came by then. Use it last.
  std::string ReadExactlyWithin(std::size_t count, std::chrono::milliseconds limit) {
    if (m_buffer.size() < count) {
      boost::asio::async_read(m_stream, m_buffer,
                              boost::asio::transfer_exactly(count - m_buffer.size()),
                              [](const boost::system::error_code&, std::size_t) {});
      m_io.restart();
      m_io.run_for(limit);
    }
    const std::size_t got = std::min(count, m_buffer.size());
    std::string bytes(
        boost::asio::buffers_begin(m_buffer.data()),
        boost::asio::buffers_begin(m_buffer.data()) + static_cast<std::ptrdiff_t>(got));
    m_buffer.consume(got);
    return bytes;
  }

  // The payload of one unmasked server frame shorter than 64 KiB.
  std::string ReadFramePayload() {
    const std::string head = ReadExactly(2);
    std::size_t length = static_cast<unsigned char>(head[1]) & 0x7f;
    if (length == 126) {
      const std::string extended = ReadExactly(2);
      length = static_cast<std::size_t>(static_cast<unsigned char>(extended[0]) << 8 |
                                        static_cast<unsigned char>(extended[1]));
    }
    return ReadExactly(length);
  }

  // After the WebSocket closing handshake: ends the sending side of the
  // socket, as a page's browser does, and waits for the server to let go of
  // the socket. True when the end of the stream came within the limit.
  bool HalfCloseAndWaitForEnd(std::chrono::milliseconds limit) {
    boost::system::error_code ignored;
    m_stream.next_layer().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
    auto ended = std::make_shared<bool>(false);
    ReadUntilEnd(ended);
    m_io.restart();
    m_io.run_for(limit);
    return *ended;
  }

 private:
  // Raw bytes (the server's TLS close among them) until the stream ends.
  void ReadUntilEnd(std::shared_ptr<bool> ended) {
    m_stream.next_layer().async_read_some(
        boost::asio::buffer(m_discard),
        [this, ended](const boost::system::error_code& error, std::size_t) {
          if (!error) {
            ReadUntilEnd(ended);
          } else {
            *ended = error == boost::asio::error::eof;
          }
        });
  }

  boost::asio::io_context m_io;
  boost::asio::ssl::context m_context;
  boost::asio::ssl::stream<boost::asio::ip::tcp::socket> m_stream;
  boost::asio::streambuf m_buffer;
  std::array<char, 256> m_discard{};
};

inline std::string Upgrade(const std::string& originHeader) {
  return "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
         originHeader + "\r\n";
}

// A short masked client frame.
inline std::string ClientFrame(unsigned char opcode, const std::string& payload) {
  const unsigned char mask[4] = {0x12, 0x34, 0x56, 0x78};
  std::string frame;
  frame += static_cast<char>(0x80 | opcode);
  frame += static_cast<char>(0x80 | payload.size());
  frame.append(reinterpret_cast<const char*>(mask), 4);
  for (std::size_t i = 0; i < payload.size(); ++i)
    frame += static_cast<char>(payload[i] ^ static_cast<char>(mask[i % 4]));
  return frame;
}

}  // namespace qvx::testing
