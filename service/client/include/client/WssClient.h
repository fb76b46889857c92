// CWssClient: a blocking secure WebSocket client for tests, tools and
// benchmarks. Its own thread runs the network loop; the calls below block
// the caller until the loop has done the work or the time is up. One user
// thread per client.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvx::client {

struct ClientOptions {
  std::string host = "127.0.0.1";
  std::uint16_t port = 9041;
  std::string origin = "https://www.brixbank.example";  // empty: no Origin header
  std::string caFile;         // PEM to verify the server against; empty: no verification
  std::string sourceAddress;  // local address to bind (e.g. "127.0.0.2"); empty: any
  std::chrono::milliseconds timeout{30000};
};

struct CloseInfo {
  std::uint16_t code = 0;
  std::string reason;
};

// Connect and handshake failures.
class ClientError : public std::runtime_error {
 public:
  ClientError(const std::string& what, int httpStatus)
      : std::runtime_error(what), m_httpStatus(httpStatus) {}
  // e.g. 400 when the upgrade was refused, 0 when no HTTP answer came.
  int HttpStatus() const { return m_httpStatus; }

 private:
  int m_httpStatus;
};

class CWssClient {
 public:
  // Connects: TCP, TLS 1.2, upgrade; throws ClientError.
  explicit CWssClient(ClientOptions options);
  // Closes normally if still open.
  ~CWssClient();
  CWssClient(const CWssClient&) = delete;
  CWssClient& operator=(const CWssClient&) = delete;

  void SendText(const std::string& text);
  void SendBinary(const std::string& bytes);
  // Next message (the service sends text only); std::nullopt when the
  // connection closed (see Closed()) or the timeout passed. Messages that
  // arrived before a close are still returned first.
  std::optional<std::string> Receive(std::chrono::milliseconds timeout);
  // SendText + Receive(options.timeout); throws std::runtime_error on close
  // or timeout.
  std::string Request(const std::string& json);
  // Set once the connection closed (by either side or by failure).
  std::optional<CloseInfo> Closed() const;
  // The close, waiting for it up to timeout; throws std::runtime_error when
  // the connection is still open then.
  CloseInfo WaitClosed(std::chrono::milliseconds timeout);
  // Normal close (1000), waiting briefly for the server's answer.
  void Close();
  std::uint16_t Port() const;
  // Sends a ping and waits for its pong; false on close or timeout. The
  // server reads a connection's frames in order, so a pong means every
  // message sent before the ping has reached it.
  bool Ping(std::chrono::milliseconds timeout);

 private:
  class Impl;
  std::unique_ptr<Impl> m_impl;
};

// Tries each port in order and returns the first client that connects and
// upgrades; throws the last port's ClientError when none does.
std::unique_ptr<CWssClient> ConnectFirst(const std::vector<std::uint16_t>& ports,
                                         ClientOptions options);

}  // namespace qvx::client
