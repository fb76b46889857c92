#include "TimedRequest.h"

#include <signal.h>

namespace qvx::bench {

CTimedRequest::CTimedRequest(const qvx::testing::Stack& stack, const std::vector<std::string>& args)
    : m_child(std::make_unique<qvx::testing::Child>(stack.QvxcmdArgv(args), stack.Env())),
      m_pid(m_child->Pid()),
      m_started(Clock::now()) {
  qvx::testing::Child* child = m_child.get();
  m_end = std::async(std::launch::async, [child] {
    const qvx::testing::ProcessResult result = child->Wait();
    RequestEnd end;
    end.ended = Clock::now();
    end.exitCode = result.exitCode;
    end.output = result.output;
    return end;
  });
}

CTimedRequest::~CTimedRequest() {
  if (m_end.valid()) {
    Kill();
    m_end.wait();
  }
}

bool CTimedRequest::Ended() const {
  return m_end.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

bool CTimedRequest::Kill() {
  // The pid stays ours until the waiting thread reaps it, a moment before
  // the end is in; a kill in that moment is the one window left open.
  if (Ended()) return false;
  return kill(m_pid, SIGKILL) == 0;
}

RequestEnd CTimedRequest::Finish(std::chrono::milliseconds bound) {
  bool stuck = false;
  if (m_end.wait_until(m_started + bound) != std::future_status::ready) {
    stuck = true;
    Kill();
  }
  RequestEnd end = m_end.get();
  end.stuck = stuck;
  return end;
}

}  // namespace qvx::bench
