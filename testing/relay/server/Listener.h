// The relay's listening socket on the loopback interface and its accept
// loop, one child process per connection.
#pragma once

#include <csignal>
#include <cstdint>

namespace qvx::testing::relay {

class CListener {
 public:
  // Binds 127.0.0.1:port (0: a port the kernel picks); throws
  // std::runtime_error when it cannot.
  explicit CListener(std::uint16_t port);
  ~CListener();
  CListener(const CListener&) = delete;
  CListener& operator=(const CListener&) = delete;

  std::uint16_t Port() const { return m_port; }

  // Accepts until `*stop` turns true (a signal handler sets it; the wait is
  // interrupted because the handlers are installed without SA_RESTART) or,
  // when `lifeline` is a descriptor (not -1), until it reads end of file.
  // Each connection is served by a forked child that ends with its parent.
  void Run(const volatile std::sig_atomic_t* stop, int lifeline);

 private:
  int m_fd = -1;
  std::uint16_t m_port = 0;
};

}  // namespace qvx::testing::relay
