// brixwssvr for one benchmark: started as the service on the stack's
// PC/SC, on private free loopback ports, with its PEM, state and output in
// the stack's directory; ready once a client gets through the upgrade.
// Stop() sends SIGTERM as the system would; the destructor kills a service
// that was not stopped.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Stack.h"
#include "client/WssClient.h"

namespace qvxbench {

// The test PEM the service and the in-process servers load.
std::string TestPemDirectory();

class CWssService {
 public:
  // Starts it and waits until it serves; throws std::runtime_error with its
  // output and log when it does not within 20 s.
  explicit CWssService(const qvxe2e::Stack& stack);
  ~CWssService();
  CWssService(const CWssService&) = delete;
  CWssService& operator=(const CWssService&) = delete;

  pid_t Pid() const { return m_pid; }
  std::uint16_t Port() const { return m_port; }
  // Client options for the port it serves (default origin, which it admits).
  qvx::client::ClientOptions Options() const;
  std::unique_ptr<qvx::client::CWssClient> Connect() const;

  // SIGTERM and wait; throws when it does not end, or ends other than with 0.
  void Stop();

 private:
  void WaitUntilServing(const std::vector<std::uint16_t>& ports);
  std::string Diagnostics() const;
  bool Exited(int* status);
  void KillAndReap() noexcept;

  const qvxe2e::Stack& m_stack;
  std::string m_outputPath;
  pid_t m_pid = -1;
  std::uint16_t m_port = 0;
};

}  // namespace qvxbench
