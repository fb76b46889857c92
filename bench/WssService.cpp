#include "WssService.h"

#include <signal.h>

#include <filesystem>
#include <stdexcept>
#include <thread>

#include "Ports.h"

namespace qvx::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStartLimit = std::chrono::seconds(20);
constexpr auto kStopLimit = std::chrono::seconds(10);

std::string Tail(const std::string& text, std::size_t size) {
  return text.size() <= size ? text : "..." + text.substr(text.size() - size);
}

}  // namespace

CWssService::CWssService(const qvx::testing::Stack& stack) : m_stack(stack) {
  qvx::testing::ServiceSettings settings;
  settings.env = stack.Env();
  settings.ports = qvx::testing::FreePorts(3);
  settings.stateDirectory = stack.Dir() + "/wss-state";
  std::filesystem::create_directories(settings.stateDirectory);
  m_service = std::make_unique<qvx::testing::ServiceProcess>(settings);
  WaitUntilServing(settings.ports);
}

void CWssService::WaitUntilServing(const std::vector<std::uint16_t>& ports) {
  qvx::client::ClientOptions options;
  options.timeout = std::chrono::milliseconds(2000);
  const auto deadline = Clock::now() + kStartLimit;
  while (true) {
    if (m_service->Ended())
      throw std::runtime_error("brixwssvr ended before serving\n" + Diagnostics());
    try {
      const auto probe = qvx::client::ConnectFirst(ports, options);
      m_port = probe->Port();
      probe->Close();
      return;
    } catch (const qvx::client::ClientError&) {
      if (Clock::now() > deadline) {
        m_service->Signal(SIGKILL);
        throw std::runtime_error("brixwssvr did not serve on " + qvx::testing::PortList(ports) +
                                 " within 20 s\n" + Diagnostics());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

qvx::client::ClientOptions CWssService::Options() const {
  qvx::client::ClientOptions options;
  options.port = m_port;
  options.timeout = std::chrono::milliseconds(10000);
  return options;
}

std::unique_ptr<qvx::client::CWssClient> CWssService::Connect() const {
  return std::make_unique<qvx::client::CWssClient>(Options());
}

void CWssService::Stop() {
  if (m_service->Ended()) return;
  m_service->Signal(SIGTERM);
  const std::optional<qvx::testing::ProcessResult> end = m_service->WaitEnd(kStopLimit);
  if (!end) {
    m_service->Signal(SIGKILL);
    throw std::runtime_error("brixwssvr did not stop within 10 s of SIGTERM\n" + Diagnostics());
  }
  if (end->exitCode != 0)
    throw std::runtime_error("brixwssvr stopped with status " + std::to_string(end->exitCode) +
                             "\n" + Diagnostics());
}

std::string CWssService::Diagnostics() {
  const std::optional<qvx::testing::ProcessResult> end =
      m_service->WaitEnd(std::chrono::seconds(5));
  const std::string output = end ? end->output + end->errors : "(still running)";
  return "output:\n" + Tail(output, 2000) + "\nlog:\n" + Tail(m_stack.ServiceLog(), 2000);
}

}  // namespace qvx::bench
