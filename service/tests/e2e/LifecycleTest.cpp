// brixwssvr's life as a service: the port it ends up on, stopping itself
// when none is free, a PEM file that goes away and comes back, and a stop
// while a page waits for the customer.
#include <signal.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ServiceFixture.h"

namespace qvxe2e {
namespace {

const std::string kSuccess = "Status=0\nStatusDescription=Success";
const std::string kCheckConnection = R"({"Name":1,"Params":[]})";

using ServiceLifecycle = ServiceTest;

std::string LastLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.rfind('\n') + 1);  // npos + 1 is 0: a single line
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(ServiceLifecycle, ATakenPortFallsThroughToTheNext) {
  m_heldPorts = {Ports()[0]};
  const CPortHolder holder(Ports()[0]);
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

TEST_F(ServiceLifecycle, NoFreePortStopsTheService) {
  std::vector<std::unique_ptr<CPortHolder>> holders;
  for (const std::uint16_t port : Ports()) holders.push_back(std::make_unique<CPortHolder>(port));
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
  QVX_SOCKET_LANE_ONLY(qvxe2e::kCancelByReaderConfName);
  StartServing();
  stack().Control("customer never");
  const auto page = Connect();
  page->SendText(R"({"Name":3,"Params":["0002CCDD","nl"]})");
  ASSERT_TRUE(DeviceWaits());

  const ProcessResult end = StopService();
  EXPECT_EQ(end.exitCode, 0) << end.errors;
  EXPECT_EQ(page->Receive(10s), "Status=15\nStatusDescription=Cancel by other session\nResponse=");
  EXPECT_NE(ServiceLog().find("[WSS] Service is started. [Version: 02.20 / Release: 18-AUG-2023]"),
            std::string::npos);
  EXPECT_TRUE(EndsWith(LastLine(ServiceLog()), "[WSS] Service is stopped.")) << ServiceLog();
}

}  // namespace
}  // namespace qvxe2e
