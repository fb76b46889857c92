#include "CpuLoad.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <thread>

namespace qvx::bench {

CpuLoad::CpuLoad() {
  m_cores = std::max(1u, std::thread::hardware_concurrency());
  const std::string count = std::to_string(m_cores);
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    // A group of its own, so that its workers stop with it.
    ::setpgid(0, 0);
    ::execlp("stress-ng", "stress-ng", "--cpu", count.c_str(), "--quiet",
             static_cast<char*>(nullptr));
    const int error = errno;
    (void)!::write(ready[1], &error, sizeof error);
    ::_exit(127);
  }
  ::setpgid(pid, pid);
  m_group = pid;
  ::close(ready[1]);
  int error = 0;
  // The exec closes the pipe: nothing read means stress-ng runs.
  const ssize_t got = ::read(ready[0], &error, sizeof error);
  ::close(ready[0]);
  if (got > 0) {
    ::waitpid(pid, nullptr, 0);
    m_group = -1;
    throw std::runtime_error("stress-ng cannot be started (make deps installs it)");
  }
}

CpuLoad::~CpuLoad() {
  if (m_group <= 0) return;
  ::kill(-m_group, SIGKILL);
  ::waitpid(m_group, nullptr, 0);
}

}  // namespace qvx::bench
