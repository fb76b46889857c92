// An in-process secure WebSocket server with the service's TLS set-up that
// sends every message back: the transport's own cost, without a command
// behind it. It serves on a free loopback port from a thread of its own.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

namespace qvx::bench {

enum class TlsContextUse {
  Shared,         // one context with the service's settings, PEM loaded once, for every connection
  PerConnection,  // the service's own MakeTlsContext for each connection
};

class CTlsEchoServer {
 public:
  // Loads pemDirectory + "/brixwssvr.pem"; throws std::runtime_error when it
  // cannot listen.
  CTlsEchoServer(const std::string& pemDirectory, TlsContextUse use);
  ~CTlsEchoServer();
  CTlsEchoServer(const CTlsEchoServer&) = delete;
  CTlsEchoServer& operator=(const CTlsEchoServer&) = delete;

  std::uint16_t Port() const;

 private:
  class Impl;
  std::unique_ptr<Impl> m_impl;
};

// The same server in a child process of its own, as the service is: the
// client then shares no process (and no library locks) with it. Fork it
// before this process starts any thread.
class CTlsEchoProcess {
 public:
  CTlsEchoProcess(const std::string& pemDirectory, TlsContextUse use);
  // Ends the child and reaps it.
  ~CTlsEchoProcess();
  CTlsEchoProcess(const CTlsEchoProcess&) = delete;
  CTlsEchoProcess& operator=(const CTlsEchoProcess&) = delete;

  std::uint16_t Port() const { return m_port; }

 private:
  void End() noexcept;

  pid_t m_pid = -1;
  int m_keepAlive = -1;  // the child serves until this pipe end closes
  std::uint16_t m_port = 0;
};

}  // namespace qvx::bench
