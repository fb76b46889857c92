// brixwssvr as a child process of a test or benchmark: started with the
// stack's environment, its ports, PEM and state directory, and stdin from
// /dev/null (so it runs as the service); its output drained while it runs,
// signalled and reaped by its owner.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Subprocess.h"

namespace qvx::testing {

// The program, and the directory of the test PEM it serves with.
const char* BrixwssvrPath();
std::string TestPemDirectory();

struct ServiceSettings {
  Environment env;  // the stack's, usually
  std::vector<std::uint16_t> ports;
  std::string pemDirectory = TestPemDirectory();
  std::string stateDirectory;
};

class ServiceProcess {
 public:
  explicit ServiceProcess(const ServiceSettings& settings);
  // Kills and reaps a service that is still running.
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

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

}  // namespace qvx::testing
