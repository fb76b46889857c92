#include "ServiceFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#ifndef QVX_TEST_PEM_DIR
#error "the build passes the directory of the test PEM"
#endif

namespace qvxe2e {

namespace {

namespace fs = std::filesystem;

constexpr auto kStartLimit = 20s;
constexpr auto kStopLimit = 30s;

// An IPv4 TCP socket bound to 127.0.0.1:port (0: any free port); -1 when the
// port is taken.
int BoundSocket(std::uint16_t port, bool reuseAddress = false) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  const int on = 1;
  if (reuseAddress) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::uint16_t LocalPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

bool Accepts(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

std::string PortList(const std::vector<std::uint16_t>& ports) {
  std::string list;
  for (const std::uint16_t port : ports) list += (list.empty() ? "" : ",") + std::to_string(port);
  return list;
}

}  // namespace

std::vector<std::uint16_t> FreePorts(std::size_t count) {
  // All held at once, so the kernel hands out distinct ones.
  std::vector<int> sockets;
  std::vector<std::uint16_t> ports;
  for (std::size_t i = 0; i < count; ++i) {
    const int fd = BoundSocket(0);
    if (fd < 0) break;
    sockets.push_back(fd);
    ports.push_back(LocalPort(fd));
  }
  for (const int fd : sockets) ::close(fd);
  if (ports.size() != count) throw std::runtime_error("no free ports");
  return ports;
}

CPortHolder::CPortHolder(std::uint16_t port, bool reuseAddress)
    : m_fd(BoundSocket(port, reuseAddress)) {
  if (m_fd < 0 || ::listen(m_fd, 4) != 0)
    throw std::runtime_error("cannot hold port " + std::to_string(port));
}

CPortHolder::~CPortHolder() {
  if (m_fd >= 0) ::close(m_fd);
}

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

std::string ServiceTest::TestPemPath() const {
  return std::string(QVX_TEST_PEM_DIR) + "/brixwssvr.pem";
}

void ServiceTest::StartService() {
  Environment env = m_stack->Env();
  env["QVX_WSS_PORTS"] = PortList(m_ports);
  env["QVX_WSS_PEM_DIR"] = m_pemDir;
  env["QVX_SERVICE_STATE_DIR"] = m_stateDir;
  m_service = std::make_unique<CServiceProcess>(env);
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

bool ServiceTest::DeviceWaits() const {
  return Eventually(
      [&] { return m_stack->Control("state").find("waiting=yes") != std::string::npos; });
}

}  // namespace qvxe2e
