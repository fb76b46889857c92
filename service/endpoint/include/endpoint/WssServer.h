// CWssServer: the secure WebSocket endpoint on the loopback address. It
// tries the ports in order and serves on the first one it can bind; every
// data message goes to the command queue, whose workers answer.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>

#include "endpoint/TlsContext.h"
#include "protocol/CommandQueue.h"
#include "protocol/CommandWorkers.h"
#include "protocol/DispatchCommand.h"

namespace qvx::endpoint {

constexpr std::array<std::uint16_t, 5> kPorts = {9041, 9042, 9043, 9044, 9045};
constexpr const char* kListenAddress = "127.0.0.1";
constexpr const char* kServerName = "BrixWSSvr";
// The largest valid request, a GetResponse with 25,600 bytes of sign data
// as hex, is about 51 KB of JSON; 128 KiB leaves room for a client that
// spaces or escapes more than needed, while one message can no longer make
// the service hold tens of megabytes (the library's default is 32 MB).
// Larger messages are closed with 1009, larger HTTP bodies refused.
constexpr std::size_t kMaxMessageSize = 128 * 1024;
constexpr const char* kVersionText = "Version: 02.20 / Release: 18-AUG-2023";

// The page answered to a plain HTTPS request.
std::string HttpPageBody();

struct WssSettings {
  std::vector<std::uint16_t> ports{kPorts.begin(), kPorts.end()};
  std::string pemDirectory = ProgramDirectory();
  protocol::CommandFactory commandFactory = protocol::SystemCommandFactory();
};

class CWssServer {
 public:
  // workerCount command workers start with the first Run; none with 0 (the
  // queue then only fills, which tests read through Queue()).
  explicit CWssServer(std::uint16_t workerCount, WssSettings settings = {});
  ~CWssServer();
  CWssServer(const CWssServer&) = delete;
  CWssServer& operator=(const CWssServer&) = delete;

  // Serves until Stop; false when no port could be served. Exceptions other
  // than the WebSocket library's (from the network loop itself) pass to the
  // caller.
  bool Run();

  // From any thread: ends the network loop after closing the open
  // connections (replies already handed over are sent first) and keeps Run
  // from starting an endpoint on a further port.
  void Stop();

  // Waits until no command worker runs a command; true when idle.
  bool WaitIdle(std::chrono::milliseconds limit);

  // The port being served, 0 when none (before, between and after).
  std::uint16_t ServingPort() const { return m_servingPort.load(); }

  protocol::CCommandQueue& Queue() { return m_queue; }

 private:
  class Endpoint;

  WssSettings m_settings;
  const std::uint16_t m_workerCount;
  // Loops outlive their endpoints: a queued message can still hold one of
  // their connections after its endpoint is gone.
  std::list<boost::asio::io_context> m_loops;
  protocol::CCommandQueue m_queue;
  std::unique_ptr<protocol::CCommandWorkers> m_workers;

  std::mutex m_mutex;  // guards m_endpoint and m_workers across threads
  std::unique_ptr<Endpoint> m_endpoint;
  std::atomic<bool> m_stopping{false};
  std::atomic<std::uint16_t> m_servingPort{0};
};

}  // namespace qvx::endpoint
