#include "ServiceProcess.h"

#include <signal.h>

#ifndef BRIXWSSVR_PATH
#error "the build passes the path of brixwssvr"
#endif

namespace qvxe2e {

CServiceProcess::CServiceProcess(const Environment& env)
    : m_child(std::make_unique<Child>(std::vector<std::string>{BRIXWSSVR_PATH}, env)),
      m_pid(m_child->Pid()) {
  // Waiting from the start drains the pipes, so a chatty service never blocks
  // on a full one.
  m_end = std::async(std::launch::async, [child = m_child.get()] { return child->Wait(); });
}

CServiceProcess::~CServiceProcess() {
  if (!Ended()) ::kill(m_pid, SIGKILL);
  if (m_end.valid()) m_end.wait();
}

bool CServiceProcess::Ended() const {
  return m_result.has_value() ||
         m_end.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

void CServiceProcess::Signal(int signal) const {
  if (!Ended()) ::kill(m_pid, signal);
}

std::optional<ProcessResult> CServiceProcess::WaitEnd(std::chrono::milliseconds limit) {
  if (!m_result) {
    if (m_end.wait_for(limit) != std::future_status::ready) return std::nullopt;
    m_result = m_end.get();
  }
  return m_result;
}

}  // namespace qvxe2e
