// The fixture of the service's end-to-end tests: a private device stack, a
// private copy of the test PEM, private ports and state, and brixwssvr
// running as the service on them; pages are played by the WebSocket client.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Eventually.h"
#include "Ports.h"
#include "ServiceProcess.h"
#include "Stack.h"
#include "client/WssClient.h"

namespace qvx::testing {

using namespace std::chrono_literals;

std::size_t CountOf(const std::string& text, const std::string& phrase);

// 101 when the client's handshake succeeds, else the HTTP status of the
// refusal (0: none, the connection failed before HTTP).
int HandshakeStatus(const qvx::client::ClientOptions& options);

// The close code once the server has closed, -1 while still open.
int CloseCode(qvx::client::CWssClient& client, std::chrono::milliseconds limit);

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts brixwssvr; StartServing also waits until it serves and keeps the
  // port.
  void StartService();
  void StartServing();
  // SIGTERM and the end (an assertion failure when it does not end).
  ProcessResult StopService();
  // The end of a service that stops by itself.
  ProcessResult ServiceEnd();

  // Freezes the stack's pcscd until ResumePcscd (or the end of the test).
  void FreezePcscd();
  void ResumePcscd();

  // Client options for the serving port, with a page's origin.
  qvx::client::ClientOptions Options() const;
  std::unique_ptr<qvx::client::CWssClient> Connect() const;

  // Until the simulated device waits for its customer.
  bool DeviceWaits() const;

  Stack& stack() { return *m_stack; }
  std::string ServiceLog() const { return m_stack->ServiceLog(); }
  const std::vector<std::uint16_t>& Ports() const { return m_ports; }
  std::uint16_t ServingPort() const { return m_servingPort; }
  std::string PemPath() const { return m_pemDir + "/brixwssvr.pem"; }
  std::string StateFile() const { return m_stateDir + "/brixwssvr.state"; }
  void SignalService(int signal) const { m_service->Signal(signal); }
  std::string TestPemPath() const;
  // Ports the test holds itself: never taken for the service's.
  std::set<std::uint16_t> m_heldPorts;

 private:
  std::uint16_t FindServingPort() const;

  std::unique_ptr<Stack> m_stack;
  std::string m_pemDir;
  std::string m_stateDir;
  std::vector<std::uint16_t> m_ports;
  std::unique_ptr<ServiceProcess> m_service;
  std::uint16_t m_servingPort = 0;
  bool m_pcscdFrozen = false;
};

}  // namespace qvx::testing
