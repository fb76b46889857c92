// A device for the direct path inside a test: serves one device interface
// socket of a class under a private device root and answers each request
// with a handler the test supplies. Every connection gets a thread of its
// own, so a second handle (a cancel) is served while a request waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/DeviceIo.h"

namespace qvx::testing {

class CTestDevice {
 public:
  struct Reply {
    std::uint32_t error = 0;  // Win32 error number; 0 for success
    std::vector<std::uint8_t> output;
  };
  using Handler =
      std::function<Reply(std::uint32_t controlCode, const std::vector<std::uint8_t>& input,
                          std::uint32_t outputCapacity)>;

  // Listens on <root>/<class>/<name>; root is created if missing.
  CTestDevice(const std::string& root, const platform::GUID& classGuid, const std::string& name,
              Handler handler);
  ~CTestDevice();  // stops serving and removes the socket
  CTestDevice(const CTestDevice&) = delete;
  CTestDevice& operator=(const CTestDevice&) = delete;

  const std::string& Path() const { return m_path; }
  // Control codes received so far, in order.
  std::vector<std::uint32_t> Received() const;

 private:
  void Accept();
  void Serve(int connection);

  Handler m_handler;
  std::string m_path;
  int m_listener = -1;
  int m_stop[2] = {-1, -1};
  std::thread m_acceptor;
  mutable std::mutex m_mutex;
  std::vector<std::thread> m_connections;
  std::vector<int> m_sockets;
  std::vector<std::uint32_t> m_received;
};

}  // namespace qvx::testing
