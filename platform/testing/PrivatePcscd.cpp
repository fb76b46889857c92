#include "PrivatePcscd.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef QVX_SOCKET_ACTIVATE
#error "QVX_SOCKET_ACTIVATE must name the qvx-socket-activate program"
#endif

namespace qvxtest {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kPcscd = "/usr/sbin/pcscd";
constexpr const char* kLauncher = QVX_SOCKET_ACTIVATE;
constexpr const char* kSystemRunDir = "/run/pcscd";
// pcscd logs this at info level once it serves clients. The socket alone
// says nothing: it accepts connections from the moment it is handed over.
constexpr const char* kReadyLine = "daemon ready";
constexpr auto kStartLimit = std::chrono::seconds(10);
constexpr auto kStopLimit = std::chrono::seconds(5);
constexpr auto kPollInterval = std::chrono::milliseconds(10);

std::string ErrnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

struct ClosePipe {
  void operator()(FILE* pipe) const noexcept { pclose(pipe); }
};

// pcscd built with polkit refuses every client when no polkit daemon runs;
// builds that know --disable-polkit get it.
bool PcscdKnows(const std::string& option) {
  const std::string command = std::string(kPcscd) + " --help 2>&1";
  std::unique_ptr<FILE, ClosePipe> pipe(popen(command.c_str(), "r"));
  if (!pipe) return false;
  std::string help;
  char chunk[512];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0)
    help.append(chunk, got);
  return help.find(option) != std::string::npos;
}

const std::vector<std::string>& DefaultOptions() {
  static const std::vector<std::string> options = [] {
    std::vector<std::string> list{"-f", "-i"};
    if (PcscdKnows("--disable-polkit")) list.emplace_back("--disable-polkit");
    return list;
  }();
  return options;
}

std::string ReadFrom(const std::string& path, long offset) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  in.seekg(offset);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

long FileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : 0;
}

bool Accepts(const std::string& socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address),
                          sizeof address) == 0;
  close(fd);
  return ok;
}

std::string ExitText(int status) {
  if (WIFEXITED(status))
    return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return "was killed by signal " + std::to_string(WTERMSIG(status));
  return "ended";
}

// Async-signal-safe note into the log from the child after fork.
void Note(const char* text) {
  const ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  static_cast<void>(ignored);
}

// In the child: give pcscd a /run/pcscd of its own, so that its pid file
// (which it writes and removes there) never touches the system pcscd's.
// Needs a mount namespace; without one pcscd shares the system directory.
void IsolateRunDirectory(const char* privateRunDir) {
  if (unshare(CLONE_NEWNS) != 0 ||
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount(privateRunDir, kSystemRunDir, nullptr, MS_BIND, nullptr) != 0)
    Note("qvx: no private /run/pcscd, sharing the system's\n");
}

}  // namespace

PrivatePcscd::~PrivatePcscd() {
  try {
    Stop();
    if (m_ownsDir) {
      std::error_code ignored;
      fs::remove_all(m_dir, ignored);
    }
  } catch (...) {
    // Destructors never throw; a stray process is reaped by init.
  }
}

bool PrivatePcscd::Available(std::string* why) {
  std::string reason;
  if (access(kPcscd, X_OK) != 0)
    reason = ErrnoText(std::string("cannot run ") + kPcscd);
  else if (access(kLauncher, X_OK) != 0)
    reason = ErrnoText(std::string("cannot run ") + kLauncher);
  else if (geteuid() != 0 && access(kSystemRunDir, W_OK) != 0)
    reason = std::string("pcscd needs a writable ") + kSystemRunDir +
             " (run as root)";
  if (why != nullptr) *why = reason;
  return reason.empty();
}

std::string PrivatePcscd::SocketPath() const { return m_dir + "/pcscd.comm"; }

std::string PrivatePcscd::LogPath() const { return m_dir + "/pcscd.log"; }

std::string PrivatePcscd::LogTail(std::size_t maxBytes) const {
  const std::string log = ReadFrom(LogPath(), 0);
  return log.size() > maxBytes ? log.substr(log.size() - maxBytes) : log;
}

void PrivatePcscd::ExportSocketPath() const {
  if (setenv("PCSCLITE_CSOCK_NAME", SocketPath().c_str(), 1) != 0)
    throw std::runtime_error(ErrnoText("setenv PCSCLITE_CSOCK_NAME"));
}

std::vector<pid_t> PrivatePcscd::PeersOfThisProcess() {
  std::vector<pid_t> peers;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", error)) {
    int fd = -1;
    try {
      fd = std::stoi(entry.path().filename().string());
    } catch (const std::exception&) {
      continue;
    }
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
        credentials.pid > 0)
      peers.push_back(credentials.pid);
  }
  return peers;
}

bool PrivatePcscd::ServesThisProcess() const {
  if (!Running()) return false;
  for (const pid_t peer : PeersOfThisProcess())
    if (peer == m_pid) return true;
  return false;
}

void PrivatePcscd::PrepareDirectory(const std::string& dir) {
  if (Running()) throw std::runtime_error("pcscd already running in " + m_dir);
  if (dir.empty()) {
    if (!m_ownsDir) {
      const char* tmp = std::getenv("TMPDIR");
      std::string pattern =
          std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
          "/qvx-pcscd-XXXXXX";
      if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error(ErrnoText("mkdtemp " + pattern));
      m_dir = pattern;
      m_ownsDir = true;
    }
  } else {
    if (m_ownsDir) {  // an earlier temporary directory is done with
      std::error_code ignored;
      fs::remove_all(m_dir, ignored);
      m_ownsDir = false;
    }
    std::error_code error;
    fs::create_directories(dir, error);
    if (error)
      throw std::runtime_error("cannot create " + dir + ": " + error.message());
    m_dir = fs::absolute(dir).string();
  }
  sockaddr_un address{};
  if (SocketPath().size() >= sizeof address.sun_path)
    throw std::runtime_error("socket path too long: " + SocketPath());
}

void PrivatePcscd::Start(const std::string& dir, const std::string& readerConf,
                         const std::vector<std::string>& extraArgs) {
  PrepareDirectory(dir);
  std::string confPath = readerConf;
  if (confPath.empty()) {
    confPath = m_dir + "/reader.conf.d";
    std::error_code error;
    fs::create_directories(confPath, error);
    if (error)
      throw std::runtime_error("cannot create " + confPath + ": " +
                               error.message());
  }
  Launch(confPath, extraArgs);
}

void PrivatePcscd::StartWithConfText(const std::string& dir,
                                     const std::string& confText,
                                     const std::vector<std::string>& extraArgs) {
  PrepareDirectory(dir);
  const std::string confPath = m_dir + "/reader.conf";
  {
    std::ofstream out(confPath, std::ios::binary | std::ios::trunc);
    out << confText;
    if (!out) throw std::runtime_error("cannot write " + confPath);
  }
  Launch(confPath, extraArgs);
}

void PrivatePcscd::Launch(const std::string& confPath,
                          const std::vector<std::string>& extraArgs) {
  const std::string runDir = m_dir + "/run";
  std::error_code error;
  fs::create_directories(runDir, error);
  if (error)
    throw std::runtime_error("cannot create " + runDir + ": " + error.message());
  // The mount point for the private run directory; pcscd would create it
  // anyway.
  if (geteuid() == 0) mkdir(kSystemRunDir, 0755);

  std::vector<std::string> args{kLauncher, SocketPath(), "--", kPcscd};
  args.insert(args.end(), DefaultOptions().begin(), DefaultOptions().end());
  args.emplace_back("-c");
  args.push_back(confPath);
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const long logStart = FileSize(LogPath());
  const int log = open(LogPath().c_str(),
                       O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) throw std::runtime_error(ErrnoText("open " + LogPath()));
  const bool isolate = geteuid() == 0;
  const pid_t parent = getpid();

  const pid_t pid = fork();
  if (pid < 0) {
    close(log);
    throw std::runtime_error(ErrnoText("fork"));
  }
  if (pid == 0) {
    // Child: only async-signal-safe calls until exec.
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    close_range(3, ~0U, 0);  // the test's own sockets stay with the test
    // A test that dies must not leave its pcscd behind.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    if (isolate) IsolateRunDirectory(runDir.c_str());
    execv(kLauncher, argv.data());
    Note("qvx: cannot run the launcher\n");
    _exit(127);
  }
  close(log);
  m_pid = pid;
  WaitUntilServing(logStart);
}

void PrivatePcscd::WaitUntilServing(long logStart) {
  const auto deadline = Clock::now() + kStartLimit;
  while (true) {
    int status = 0;
    const pid_t ended = waitpid(m_pid, &status, WNOHANG);
    if (ended == m_pid) {
      m_pid = -1;
      FailStart("pcscd " + ExitText(status) + " while starting");
    }
    if (ReadFrom(LogPath(), logStart).find(kReadyLine) != std::string::npos &&
        Accepts(SocketPath()))
      return;
    if (Clock::now() > deadline)
      FailStart("pcscd did not get ready within " +
                std::to_string(kStartLimit.count()) + " s");
    std::this_thread::sleep_for(kPollInterval);
  }
}

void PrivatePcscd::FailStart(const std::string& what) {
  Stop();
  throw std::runtime_error(what + " (" + m_dir + "); log:\n" + LogTail());
}

void PrivatePcscd::Stop() {
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    const auto deadline = Clock::now() + kStopLimit;
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(m_pid, &status, WNOHANG)) == 0 &&
           Clock::now() < deadline)
      std::this_thread::sleep_for(kPollInterval);
    if (ended == 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
  }
  // pcscd leaves a socket it was handed behind.
  if (!m_dir.empty()) unlink(SocketPath().c_str());
}

}  // namespace qvxtest
