// The loopback ports of the service suites and benchmarks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <stdexcept>
#include <vector>

#include "Ports.h"

namespace qvx::testing {
namespace {

TEST(PortsTest, FreePortsAreDistinctAndNobodyListensOnThem) {
  const std::vector<std::uint16_t> ports = FreePorts(5);
  ASSERT_EQ(ports.size(), 5u);
  EXPECT_EQ(std::set<std::uint16_t>(ports.begin(), ports.end()).size(), 5u);
  for (const std::uint16_t port : ports) {
    EXPECT_NE(port, 0);
    EXPECT_FALSE(Accepts(port)) << port;
    EXPECT_EQ(ConnectLoopback(port), -1) << port;
  }
}

TEST(PortsTest, AHeldPortAcceptsAndCannotBeHeldTwice) {
  const std::uint16_t port = FreePorts(1).front();
  {
    const PortHolder holder(port);
    EXPECT_TRUE(Accepts(port));
    const int fd = ConnectLoopback(port);
    EXPECT_GE(fd, 0);
    if (fd >= 0) ::close(fd);
    EXPECT_THROW(PortHolder second(port), std::runtime_error);
  }
  EXPECT_FALSE(Accepts(port)) << "the holder let go";
}

TEST(PortsTest, PortListIsWhatTheServiceTakes) {
  EXPECT_EQ(PortList({}), "");
  EXPECT_EQ(PortList({8080}), "8080");
  EXPECT_EQ(PortList({1, 22, 333}), "1,22,333");
}

}  // namespace
}  // namespace qvx::testing
