#include "ServiceProcess.h"

#include <signal.h>

#include "Ports.h"

#if !defined(BRIXWSSVR_PATH) || !defined(QVX_TEST_PEM_DIR)
#error "the build passes the paths of brixwssvr and of the test PEM"
#endif

namespace qvx::testing {

namespace {

Environment ServiceEnvironment(const ServiceSettings& settings) {
  Environment env = settings.env;
  env["QVX_WSS_PORTS"] = PortList(settings.ports);
  env["QVX_WSS_PEM_DIR"] = settings.pemDirectory;
  env["QVX_SERVICE_STATE_DIR"] = settings.stateDirectory;
  return env;
}

}  // namespace

const char* BrixwssvrPath() { return BRIXWSSVR_PATH; }

std::string TestPemDirectory() { return QVX_TEST_PEM_DIR; }

ServiceProcess::ServiceProcess(const ServiceSettings& settings)
    : m_child(std::make_unique<Child>(std::vector<std::string>{BRIXWSSVR_PATH},
                                      ServiceEnvironment(settings))),
      m_pid(m_child->Pid()) {
  // Waiting from the start drains the pipes, so a chatty service never blocks
  // on a full one.
  m_end = std::async(std::launch::async, [child = m_child.get()] { return child->Wait(); });
}

ServiceProcess::~ServiceProcess() {
  if (!Ended()) ::kill(m_pid, SIGKILL);
  if (m_end.valid()) m_end.wait();
}

bool ServiceProcess::Ended() const {
  return m_result.has_value() ||
         m_end.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

void ServiceProcess::Signal(int signal) const {
  if (!Ended()) ::kill(m_pid, signal);
}

std::optional<ProcessResult> ServiceProcess::WaitEnd(std::chrono::milliseconds limit) {
  if (!m_result) {
    if (m_end.wait_for(limit) != std::future_status::ready) return std::nullopt;
    m_result = m_end.get();
  }
  return m_result;
}

}  // namespace qvx::testing
