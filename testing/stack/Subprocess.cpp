#include "Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace qvx::testing {

namespace {

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

// The child's environment: ours with `extra` laid over it.
std::vector<std::string> MergedEnvironment(const Environment& extra) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (extra.count(name) == 0) merged.push_back(text);
  }
  for (const auto& [name, value] : extra) merged.push_back(name + "=" + value);
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const Environment& extra) {
  if (argv.empty()) throw std::invalid_argument("Child: no program");
  // Everything the child needs is built before fork: only exec after it.
  std::vector<std::string> args = argv;
  std::vector<std::string> env = MergedEnvironment(extra);
  std::vector<char*> argPointers = Pointers(args);
  std::vector<char*> envPointers = Pointers(env);

  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw SystemError("pipe");
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    throw SystemError("pipe");
  }
  m_pid = fork();
  if (m_pid < 0) {
    for (const int fd : {out[0], out[1], err[0], err[1]}) close(fd);
    throw SystemError("fork");
  }
  if (m_pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    execve(argPointers[0], argPointers.data(), envPointers.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  m_out = out[0];
  m_err = err[0];
}

Child::~Child() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    try {
      Wait();
    } catch (...) {
      // Reaping is best effort in a destructor.
    }
  }
}

ProcessResult Child::Wait() {
  if (m_pid <= 0) throw std::logic_error("Child::Wait: already waited for");
  ProcessResult result;
  // Both pipes at once, so a child that fills one never blocks on it.
  pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
  std::string* sinks[2] = {&result.output, &result.errors};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw SystemError("poll");
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  m_out = m_err = -1;
  int status = 0;
  while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
  }
  m_pid = -1;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

ProcessResult Run(const std::vector<std::string>& argv, const Environment& extra) {
  Child child(argv, extra);
  return child.Wait();
}

}  // namespace qvx::testing
