// Loopback TCP ports for tests and benchmarks that run servers: ports that
// are free, a port held as another program would hold it, and a probe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvx::testing {

// Ports that were free a moment ago, from the kernel's ephemeral range (so
// parallel runs do not pick the same ones), all different. Another program
// may take one before the server binds it; servers move on to the next.
std::vector<std::uint16_t> FreePorts(std::size_t count);

// "p1,p2,...", as QVX_WSS_PORTS takes them.
std::string PortList(const std::vector<std::uint16_t>& ports);

// A listening socket on 127.0.0.1:port, as another program holding the port.
class PortHolder {
 public:
  // reuseAddress: with SO_REUSEADDR, as a server restarting itself would.
  explicit PortHolder(std::uint16_t port, bool reuseAddress = false);
  ~PortHolder();
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;

 private:
  int m_fd = -1;
};

// A TCP socket connected to 127.0.0.1:port (the caller closes it); -1 when
// nothing accepts there.
int ConnectLoopback(std::uint16_t port);
// Whether something accepts connections on 127.0.0.1:port.
bool Accepts(std::uint16_t port);

}  // namespace qvx::testing
