// A qvxcmd request run as its own process, with the moment it ended; one
// that does not end within a bound is killed and reported as stuck.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "Stack.h"
#include "Subprocess.h"

namespace qvx::bench {

using Clock = std::chrono::steady_clock;

struct RequestEnd {
  int exitCode = -1;  // -1: killed by a signal
  std::string output;
  bool stuck = false;  // still running at the bound, killed
  Clock::time_point ended;
};

class CTimedRequest {
 public:
  CTimedRequest(const qvx::testing::Stack& stack, const std::vector<std::string>& qvxcmdArgs);
  ~CTimedRequest();
  CTimedRequest(const CTimedRequest&) = delete;
  CTimedRequest& operator=(const CTimedRequest&) = delete;

  Clock::time_point Started() const { return m_started; }
  bool Ended() const;
  // SIGKILL while it runs; false when it had already ended.
  bool Kill();
  // Its end, waiting up to `bound` from its start.
  RequestEnd Finish(std::chrono::milliseconds bound);

 private:
  std::unique_ptr<qvx::testing::Child> m_child;
  pid_t m_pid;
  Clock::time_point m_started;
  std::future<RequestEnd> m_end;
};

}  // namespace qvx::bench
