// brixwssvr's life as a service: the port it ends up on, stopping itself
// when none is free, a PEM file that goes away and comes back, and a stop
// while a page waits for the customer.
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ServiceFixture.h"

namespace qvx::testing {
namespace {

const std::string kSuccess = "Status=0\nStatusDescription=Success";
const std::string kCheckConnection = R"({"Name":1,"Params":[]})";

class ServiceLifecycle : public ServiceTest {
 protected:
  // The service up and a page whose command waits for a customer who never
  // answers (the test asserts DeviceWaits()).
  std::unique_ptr<qvx::client::CWssClient> PageWaitingForTheCustomer() {
    StartServing();
    stack().Control("customer never");
    auto page = Connect();
    page->SendText(R"({"Name":3,"Params":["0002CCDD","nl"]})");
    return page;
  }
};

std::string LastLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.rfind('\n') + 1);  // npos + 1 is 0: a single line
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Sends a plain-text request to a TLS port and reads until the server closes.
bool ServerHangsUpOnPlainText(std::uint16_t port) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return false;
  bool closed = false;
  const std::string hello = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  if (::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(hello.size())) {
    const timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
    }
    closed = n == 0;
  }
  ::close(fd);
  return closed;
}

TEST_F(ServiceLifecycle, ATakenPortFallsThroughToTheNext) {
  m_heldPorts = {Ports()[0]};
  const PortHolder holder(Ports()[0]);
  StartServing();
  EXPECT_EQ(ServingPort(), Ports()[1]);

  const std::string log = ServiceLog();
  const std::string expected[] = {"[WSS] Serving on port: " + std::to_string(Ports()[0]),
                                  "[WSS] Failed!",
                                  "[WSS] Serving on port: " + std::to_string(Ports()[1])};
  std::size_t at = 0;
  for (const std::string& line : expected) {
    at = log.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << " missing or out of order:\n" << log;
  }
  EXPECT_EQ(Connect()->Request(kCheckConnection).rfind(kSuccess, 0), 0u);
}

TEST_F(ServiceLifecycle, ARestartComesBackOnItsPortAfterConnectionsItClosed) {
  StartServing();
  const std::uint16_t first = ServingPort();
  ASSERT_EQ(first, Ports()[0]);
  // Connections the server closes leave its side in TIME_WAIT: a refused
  // request (1007) and one still open at the stop (1001).
  const auto refused = Connect();
  refused->SendText("not json");
  ASSERT_EQ(CloseCode(*refused, 10s), 1007);
  const auto open = Connect();
  ASSERT_EQ(open->Request(kCheckConnection).rfind(kSuccess, 0), 0u);
  // A client that leaves the close to the server, as browsers do: its
  // plain-text hello fails the TLS handshake and the server hangs up first.
  ASSERT_TRUE(ServerHangsUpOnPlainText(first));
  const ProcessResult end = StopService();
  ASSERT_EQ(end.exitCode, 0) << end.errors;
  // The connections the server closed are still in their TLS close: the
  // open one gets its going-away close all the same.
  EXPECT_EQ(CloseCode(*open, 10s), 1001);

  StartServing();
  EXPECT_EQ(ServingPort(), first) << ServiceLog();
  EXPECT_EQ(Connect()->Request(kCheckConnection).rfind(kSuccess, 0), 0u);
}

TEST_F(ServiceLifecycle, APortAnotherProgramListensOnWithAddressReuseStillFallsThrough) {
  m_heldPorts = {Ports()[0]};
  const PortHolder holder(Ports()[0], /*reuseAddress=*/true);
  StartServing();
  EXPECT_EQ(ServingPort(), Ports()[1]);
}

TEST_F(ServiceLifecycle, NoFreePortStopsTheService) {
  std::vector<std::unique_ptr<PortHolder>> holders;
  for (const std::uint16_t port : Ports()) holders.push_back(std::make_unique<PortHolder>(port));
  StartService();
  const ProcessResult end = ServiceEnd();
  EXPECT_EQ(end.exitCode, 0) << end.errors;

  const std::string log = ServiceLog();
  EXPECT_EQ(CountOf(log, "[WSS] Serving on port: "), 5u) << log;
  EXPECT_EQ(CountOf(log, "[WSS] Failed!"), 5u) << log;
  for (const std::uint16_t port : Ports())
    EXPECT_NE(log.find("[WSS] Serving on port: " + std::to_string(port) + "\n"), std::string::npos)
        << port;
}

TEST_F(ServiceLifecycle, AMissingPemFailsNewHandshakesUntilItIsBack) {
  StartServing();
  const auto before = Connect();
  std::filesystem::remove(PemPath());

  EXPECT_EQ(HandshakeStatus(Options()), 0) << "a handshake without the PEM file succeeded";
  EXPECT_NE(ServiceLog().find("[WSS] Error loading PEM file. (Message: "), std::string::npos)
      << ServiceLog();
  // A connection made before is not touched.
  EXPECT_EQ(before->Request(kCheckConnection).rfind(kSuccess, 0), 0u);

  std::filesystem::copy_file(TestPemPath(), PemPath());
  EXPECT_EQ(HandshakeStatus(Options()), 101) << "the restored PEM file was not used";
}

TEST_F(ServiceLifecycle, StopWhileAPageWaitsCancelsItsCommand) {
  const auto page = PageWaitingForTheCustomer();
  ASSERT_TRUE(DeviceWaits());

  const ProcessResult end = StopService();
  EXPECT_EQ(end.exitCode, 0) << end.errors;
  EXPECT_EQ(page->Receive(10s), "Status=15\nStatusDescription=Cancel by other session\nResponse=");
  EXPECT_NE(ServiceLog().find("[WSS] Service is started. [Version: 02.20 / Release: 18-AUG-2023]"),
            std::string::npos);
  EXPECT_TRUE(EndsWith(LastLine(ServiceLog()), "[WSS] Service is stopped.")) << ServiceLog();
}

// A page that closed a moment before the stop (its connection still in the
// close's last steps) must not cost the waiting page its going-away close.
TEST_F(ServiceLifecycle, StopRightAfterAnotherPageClosedStillSaysGoingAway) {
  StartServing();
  {
    const auto earlier = Connect();
    ASSERT_EQ(earlier->Request(kCheckConnection).rfind(kSuccess, 0), 0u);
    earlier->Close();
  }
  stack().Control("customer never");
  const auto page = Connect();
  page->SendText(R"({"Name":3,"Params":["0002CCDD","nl"]})");
  ASSERT_TRUE(DeviceWaits());

  const ProcessResult end = StopService();
  EXPECT_EQ(end.exitCode, 0) << end.errors;
  EXPECT_EQ(page->Receive(10s), "Status=15\nStatusDescription=Cancel by other session\nResponse=");
  EXPECT_EQ(CloseCode(*page, 10s), 1001) << end.errors;
}

// pcscd frozen, the cancelled command cannot end, so the stop waits for the
// workers: a second SIGTERM then arrives while it runs.
TEST_F(ServiceLifecycle, ASecondSigtermDuringTheStopLetsItFinish) {
  const auto page = PageWaitingForTheCustomer();
  ASSERT_TRUE(DeviceWaits());
  FreezePcscd();
  SignalService(SIGTERM);
  ASSERT_TRUE(Eventually([&] {
    std::ifstream state(StateFile());
    const std::string text((std::istreambuf_iterator<char>(state)),
                           std::istreambuf_iterator<char>());
    return text.find("STATE=3\n") != std::string::npos;
  })) << "the stop never began";
  SignalService(SIGTERM);
  ResumePcscd();

  const ProcessResult end = ServiceEnd();
  EXPECT_EQ(end.exitCode, 0) << "ended by the second signal\n" << end.errors;
  EXPECT_TRUE(EndsWith(LastLine(ServiceLog()), "[WSS] Service is stopped.")) << ServiceLog();
}

}  // namespace
}  // namespace qvx::testing
