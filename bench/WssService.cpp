#include "WssService.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#if !defined(QVX_BRIXWSSVR_PATH) || !defined(QVX_TEST_PEM_DIR)
#error "the build passes the paths of brixwssvr and of the test PEM"
#endif

extern char** environ;

namespace qvxbench {

namespace {

using Clock = std::chrono::steady_clock;

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

// Ports nobody listens on now, all held at once so they differ. Another
// program may take one before the service binds; the service then moves on
// to the next.
std::vector<std::uint16_t> FreeLoopbackPorts(std::size_t count) {
  std::vector<int> sockets;
  std::vector<std::uint16_t> ports;
  for (std::size_t i = 0; i < count; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) break;
    sockets.push_back(fd);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      break;
    ports.push_back(ntohs(address.sin_port));
  }
  for (const int fd : sockets) close(fd);
  if (ports.size() != count) throw SystemError("no free loopback port");
  return ports;
}

std::string Joined(const std::vector<std::uint16_t>& ports) {
  std::string text;
  for (const std::uint16_t port : ports) text += (text.empty() ? "" : ",") + std::to_string(port);
  return text;
}

// This process's environment with `extra` laid over it.
std::vector<std::string> Environment(const qvxe2e::Environment& extra) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (extra.count(text.substr(0, text.find('='))) == 0) merged.push_back(text);
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

std::string Tail(const std::string& text, std::size_t size) {
  return text.size() <= size ? text : "..." + text.substr(text.size() - size);
}

}  // namespace

std::string TestPemDirectory() { return QVX_TEST_PEM_DIR; }

CWssService::CWssService(const qvxe2e::Stack& stack)
    : m_stack(stack), m_outputPath(stack.Dir() + "/brixwssvr.out") {
  const std::vector<std::uint16_t> ports = FreeLoopbackPorts(3);
  const std::string stateDir = stack.Dir() + "/wss-state";
  if (mkdir(stateDir.c_str(), 0700) != 0 && errno != EEXIST) throw SystemError("mkdir " + stateDir);

  qvxe2e::Environment extra = stack.Env();
  extra["QVX_WSS_PORTS"] = Joined(ports);
  extra["QVX_WSS_PEM_DIR"] = TestPemDirectory();
  extra["QVX_SERVICE_STATE_DIR"] = stateDir;
  // Built before fork: the child only redirects and execs.
  std::vector<std::string> args{QVX_BRIXWSSVR_PATH};
  std::vector<std::string> env = Environment(extra);
  std::vector<char*> argPointers = Pointers(args);
  std::vector<char*> envPointers = Pointers(env);
  const int output = open(m_outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (output < 0) throw SystemError("open " + m_outputPath);
  m_pid = fork();
  if (m_pid < 0) {
    close(output);
    throw SystemError("fork");
  }
  if (m_pid == 0) {
    // No terminal on stdin: it runs as the service.
    const int input = open("/dev/null", O_RDONLY);
    if (input >= 0) dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(output, STDERR_FILENO);
    execve(argPointers[0], argPointers.data(), envPointers.data());
    _exit(127);
  }
  close(output);

  try {
    WaitUntilServing(ports);
  } catch (...) {
    KillAndReap();
    throw;
  }
}

CWssService::~CWssService() { KillAndReap(); }

void CWssService::WaitUntilServing(const std::vector<std::uint16_t>& ports) {
  qvx::client::ClientOptions options;
  options.timeout = std::chrono::milliseconds(2000);
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (true) {
    int status = 0;
    if (Exited(&status))
      throw std::runtime_error("brixwssvr ended before serving (status " +
                               std::to_string(status) + ")\n" + Diagnostics());
    try {
      const auto probe = qvx::client::ConnectFirst(ports, options);
      m_port = probe->Port();
      probe->Close();
      return;
    } catch (const qvx::client::ClientError&) {
      if (Clock::now() > deadline)
        throw std::runtime_error("brixwssvr did not serve on " + Joined(ports) +
                                 " within 20 s\n" + Diagnostics());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

void CWssService::KillAndReap() noexcept {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  m_pid = -1;
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
  if (m_pid <= 0) return;
  if (kill(m_pid, SIGTERM) != 0) throw SystemError("kill brixwssvr");
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (!Exited(&status)) {
    if (Clock::now() > deadline) {
      KillAndReap();
      throw std::runtime_error("brixwssvr did not stop within 10 s of SIGTERM\n" + Diagnostics());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("brixwssvr stopped with status " + std::to_string(status) + "\n" +
                             Diagnostics());
}

// Reaps the service once it has ended; true then, with its wait status.
bool CWssService::Exited(int* status) {
  if (m_pid <= 0) return true;
  pid_t reaped = 0;
  do {
    reaped = waitpid(m_pid, status, WNOHANG);
  } while (reaped < 0 && errno == EINTR);
  if (reaped == 0) return false;
  m_pid = -1;
  return true;
}

std::string CWssService::Diagnostics() const {
  std::ifstream in(m_outputPath);
  std::ostringstream output;
  output << in.rdbuf();
  return "output:\n" + Tail(output.str(), 2000) + "\nlog:\n" + Tail(m_stack.ServiceLog(), 2000);
}

}  // namespace qvxbench
