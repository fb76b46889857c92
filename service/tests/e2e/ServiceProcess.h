// brixwssvr as a child process of a test: started with the stack's
// environment and stdin from /dev/null (so it runs as the service), its
// output drained while it runs, signalled and reaped by the test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>

#include "Subprocess.h"

namespace qvxe2e {

class CServiceProcess {
 public:
  explicit CServiceProcess(const Environment& env);
  // Kills and reaps a service that is still running.
  ~CServiceProcess();
  CServiceProcess(const CServiceProcess&) = delete;
  CServiceProcess& operator=(const CServiceProcess&) = delete;

  pid_t Pid() const { return m_pid; }
  bool Ended() const;
  // Only while it has not ended (and been reaped): the pid is never reused.
  void Signal(int signal) const;
  // How it ended; nothing when it still runs after `limit`.
  std::optional<ProcessResult> WaitEnd(std::chrono::milliseconds limit);

 private:
  std::unique_ptr<Child> m_child;
  pid_t m_pid = -1;
  std::future<ProcessResult> m_end;  // Child::Wait on a thread of its own
  std::optional<ProcessResult> m_result;
};

}  // namespace qvxe2e
