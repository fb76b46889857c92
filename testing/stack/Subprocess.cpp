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

  const std::array<PipeEnds, 2> pipes = MakePipes();  // standard output, standard error
  m_pid = ForkWith(pipes);
  if (m_pid == 0) {
    dup2(pipes[0].write, STDOUT_FILENO);
    dup2(pipes[1].write, STDERR_FILENO);
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    execve(argPointers[0], argPointers.data(), envPointers.data());
    _exit(127);
  }
  close(pipes[0].write);
  close(pipes[1].write);
  m_out = pipes[0].read;
  m_err = pipes[1].read;
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

std::array<PipeEnds, 2> MakePipes() {
  std::array<PipeEnds, 2> pipes;
  for (std::size_t i = 0; i < pipes.size(); ++i) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
      const std::runtime_error error = SystemError("pipe");
      for (std::size_t made = 0; made < i; ++made) {
        close(pipes[made].read);
        close(pipes[made].write);
      }
      throw error;
    }
    pipes[i] = {ends[0], ends[1]};
  }
  return pipes;
}

pid_t ForkWith(const std::array<PipeEnds, 2>& pipes) {
  const pid_t pid = fork();
  if (pid < 0) {
    const std::runtime_error error = SystemError("fork");
    for (const PipeEnds& pipe : pipes) {
      close(pipe.read);
      close(pipe.write);
    }
    throw error;
  }
  return pid;
}

ProcessResult Run(const std::vector<std::string>& argv, const Environment& extra) {
  Child child(argv, extra);
  return child.Wait();
}

}  // namespace qvx::testing
