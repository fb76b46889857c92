#include "PrivatePcscd.h"

#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "Stack.h"

namespace qvx::testing {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPcscd = "/usr/sbin/pcscd";
constexpr const char* kSystemRunDir = "/run/pcscd";

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

PrivatePcscd::PrivatePcscd() = default;

PrivatePcscd::~PrivatePcscd() {
  try {
    Stop();
  } catch (...) {
    // Destructors never throw; the script's watcher stops a stray pcscd
    // once this process has ended.
  }
}

bool PrivatePcscd::Available(std::string* why) {
  std::string reason;
  if (access(kPcscd, X_OK) != 0)
    reason = ErrnoText(std::string("cannot run ") + kPcscd);
  else if (access(StackScriptPath(), X_OK) != 0)
    reason = ErrnoText(std::string("cannot run ") + StackScriptPath());
  else if (geteuid() != 0 && access(kSystemRunDir, W_OK) != 0)
    reason = std::string("pcscd needs a writable ") + kSystemRunDir + " (run as root)";
  if (why != nullptr) *why = reason;
  return reason.empty();
}

std::string PrivatePcscd::SocketPath() const { return m_dir + "/pcscd.comm"; }

std::string PrivatePcscd::LogPath() const { return m_dir + "/pcscd.log"; }

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
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.pid > 0)
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

void PrivatePcscd::Start(const std::string& dir, const std::string& readerConf,
                         const std::vector<std::string>& extraArgs) {
  if (Running()) throw std::runtime_error("pcscd already running in " + m_dir);
  if (dir.empty()) {
    if (!m_ownDir) m_ownDir = std::make_unique<PrivateDir>("qvx-pcscd");
    m_dir = m_ownDir->Path();
  } else {
    m_ownDir.reset();  // an earlier temporary directory is done with
    fs::create_directories(dir);
    m_dir = fs::absolute(dir).string();
  }
  // A test that dies must not leave its pcscd behind: the script's watcher
  // takes it down once this process has ended.
  std::vector<std::string> args{"pcscd", m_dir, "--watch", std::to_string(getpid())};
  if (!readerConf.empty()) args.insert(args.end(), {"--conf", readerConf});
  if (!extraArgs.empty()) {
    args.emplace_back("--");
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  }
  const ProcessResult up = RunStackScript(args);
  if (up.exitCode != 0)
    throw std::runtime_error("private pcscd did not start (" + std::to_string(up.exitCode) + ", " +
                             m_dir + "):\n" + up.output + up.errors);
  std::ifstream pidFile(m_dir + "/pcscd.pid");
  if (!(pidFile >> m_pid)) {
    Stop();
    throw std::runtime_error("no pcscd.pid in " + m_dir);
  }
}

void PrivatePcscd::Stop() {
  if (m_dir.empty()) return;
  const ProcessResult down = RunStackScript({"down", m_dir});
  m_pid = -1;
  if (down.exitCode != 0)
    throw std::runtime_error("scripts/stack down " + m_dir + " failed:\n" + down.errors);
}

}  // namespace qvx::testing
