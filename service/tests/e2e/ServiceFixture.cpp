#include "ServiceFixture.h"

#include <signal.h>

#include <filesystem>
#include <stdexcept>

namespace qvx::testing {

namespace {

namespace fs = std::filesystem;

constexpr auto kStartLimit = 20s;
constexpr auto kStopLimit = 30s;

}  // namespace

std::size_t CountOf(const std::string& text, const std::string& phrase) {
  std::size_t count = 0;
  for (std::size_t at = text.find(phrase); at != std::string::npos;
       at = text.find(phrase, at + phrase.size()))
    ++count;
  return count;
}

int HandshakeStatus(const qvx::client::ClientOptions& options) {
  try {
    qvx::client::CWssClient client(options);
    return 101;
  } catch (const qvx::client::ClientError& error) {
    return error.HttpStatus();
  }
}

int CloseCode(qvx::client::CWssClient& client, std::chrono::milliseconds limit) {
  try {
    return client.WaitClosed(limit).code;
  } catch (const std::runtime_error&) {
    return -1;
  }
}

void ServiceTest::SetUp() {
  std::string why;
  if (!Stack::Available(&why)) GTEST_SKIP() << why;
  try {
    m_stack = std::make_unique<Stack>();
  } catch (const std::exception& error) {
    FAIL() << error.what();
  }
  // Inside the stack's directory, so the stack takes them away with it.
  m_pemDir = m_stack->Dir() + "/wss-pem";
  m_stateDir = m_stack->Dir() + "/wss-state";
  fs::create_directories(m_pemDir);
  fs::create_directories(m_stateDir);
  fs::copy_file(TestPemPath(), PemPath());
  m_ports = FreePorts(5);
}

void ServiceTest::TearDown() {
  if (m_pcscdFrozen) ResumePcscd();
  if (m_service && !m_service->Ended()) {
    m_service->Signal(SIGTERM);
    EXPECT_TRUE(m_service->WaitEnd(kStopLimit)) << "brixwssvr ignored SIGTERM";
  }
  m_service.reset();  // kills one that still runs
  m_stack.reset();
}

std::string ServiceTest::TestPemPath() const { return TestPemDirectory() + "/brixwssvr.pem"; }

void ServiceTest::StartService() {
  ServiceSettings settings;
  settings.env = m_stack->Env();
  settings.ports = m_ports;
  settings.pemDirectory = m_pemDir;
  settings.stateDirectory = m_stateDir;
  m_service = std::make_unique<ServiceProcess>(settings);
}

std::uint16_t ServiceTest::FindServingPort() const {
  // The line comes before the port is bound: a port counts once something
  // accepts on it and no failure followed its line.
  const std::string log = ServiceLog();
  const std::string marker = "[WSS] Serving on port: ";
  const std::size_t at = log.rfind(marker);
  if (at == std::string::npos) return 0;
  if (log.find("[WSS] Failed!", at) != std::string::npos) return 0;
  const auto port = static_cast<std::uint16_t>(std::stoul(log.substr(at + marker.size())));
  if (m_heldPorts.count(port) != 0 || !Accepts(port)) return 0;
  return port;
}

void ServiceTest::StartServing() {
  StartService();
  ASSERT_TRUE(Eventually([&] { return m_service->Ended() || FindServingPort() != 0; }, kStartLimit))
      << "brixwssvr serves on none of " << PortList(m_ports) << "\n"
      << ServiceLog();
  if (m_service->Ended()) {
    const ProcessResult end = *m_service->WaitEnd(0s);
    FAIL() << "brixwssvr ended with " << end.exitCode << ":\n"
           << end.output << end.errors << "\n"
           << ServiceLog();
  }
  m_servingPort = FindServingPort();
}

ProcessResult ServiceTest::StopService() {
  m_service->Signal(SIGTERM);
  return ServiceEnd();
}

ProcessResult ServiceTest::ServiceEnd() {
  const std::optional<ProcessResult> end = m_service->WaitEnd(kStopLimit);
  if (!end) {
    ADD_FAILURE() << "brixwssvr still runs\n" << ServiceLog();
    return {};
  }
  return *end;
}

void ServiceTest::FreezePcscd() {
  ASSERT_EQ(::kill(m_stack->PcscdPid(), SIGSTOP), 0);
  m_pcscdFrozen = true;
}

void ServiceTest::ResumePcscd() {
  ::kill(m_stack->PcscdPid(), SIGCONT);
  m_pcscdFrozen = false;
}

qvx::client::ClientOptions ServiceTest::Options() const {
  qvx::client::ClientOptions options;
  options.port = m_servingPort;
  options.caFile = TestPemPath();
  options.timeout = 30s;
  return options;
}

std::unique_ptr<qvx::client::CWssClient> ServiceTest::Connect() const {
  return std::make_unique<qvx::client::CWssClient>(Options());
}

bool ServiceTest::DeviceWaits() const { return qvx::testing::DeviceWaits(*m_stack); }

}  // namespace qvx::testing
