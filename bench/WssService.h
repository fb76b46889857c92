// brixwssvr for one benchmark: started as the service on the stack's
// PC/SC, on private free loopback ports, with its state in the stack's
// directory; ready once a client gets through the upgrade. Stop() sends
// SIGTERM as the system would; the destructor kills a service that was not
// stopped.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ServiceProcess.h"
#include "Stack.h"
#include "client/WssClient.h"

namespace qvx::bench {

// The test PEM the service and the in-process servers load.
using qvx::testing::TestPemDirectory;

class CWssService {
 public:
  // Starts it and waits until it serves; throws std::runtime_error with its
  // output and log when it does not within 20 s.
  explicit CWssService(const qvx::testing::Stack& stack);
  CWssService(const CWssService&) = delete;
  CWssService& operator=(const CWssService&) = delete;

  pid_t Pid() const { return m_service->Pid(); }
  std::uint16_t Port() const { return m_port; }
  // Client options for the port it serves (default origin, which it admits).
  qvx::client::ClientOptions Options() const;
  std::unique_ptr<qvx::client::CWssClient> Connect() const;

  // SIGTERM and wait; throws when it does not end, or ends other than with 0.
  void Stop();

 private:
  void WaitUntilServing(const std::vector<std::uint16_t>& ports);
  // Its output (once it has ended) and the end of its log.
  std::string Diagnostics();

  const qvx::testing::Stack& m_stack;
  std::unique_ptr<qvx::testing::ServiceProcess> m_service;
  std::uint16_t m_port = 0;
};

}  // namespace qvx::bench
