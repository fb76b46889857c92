#include "service/ServiceFiles.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "system/PlatformError.h"

extern char** environ;

namespace platform {

namespace {

constexpr const char* kDefaultUnitDirectory = "/etc/systemd/system";
constexpr const char* kLocalServiceAccount = "NT AUTHORITY\\LOCAL SERVICE";

std::string FromEnvironment(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? std::string(value) : fallback;
}

// ExecStart splits on blanks and expands '%' specifiers; quoting keeps a path
// with spaces whole.
std::string QuoteExecPath(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  return quoted + '"';
}

// CreateService is handed the path the way Windows wants it, in quotes.
std::string Unquoted(const std::string& path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
    return path.substr(1, path.size() - 2);
  }
  return path;
}

// What the local service account may do, and nothing more: read the
// system, write its own state, log and runtime directories and the
// named-object directory (/dev/shm, which the private /dev keeps), reach
// pcscd's socket and loopback peers. No privileges, no devices, no kernel
// settings, no other processes, no code made at run time.
std::string LocalServiceSandbox() {
  return "UMask=0077\n"
         "NoNewPrivileges=yes\n"
         "CapabilityBoundingSet=\n"
         "AmbientCapabilities=\n"
         "ProtectSystem=strict\n"
         "ProtectHome=yes\n"
         "PrivateTmp=yes\n"
         "PrivateDevices=yes\n"
         "PrivateIPC=yes\n"
         "PrivateUsers=yes\n"
         "ProtectProc=invisible\n"
         "ProcSubset=pid\n"
         "ProtectKernelTunables=yes\n"
         "ProtectKernelModules=yes\n"
         "ProtectKernelLogs=yes\n"
         "ProtectControlGroups=yes\n"
         "ProtectClock=yes\n"
         "ProtectHostname=yes\n"
         "RestrictNamespaces=yes\n"
         "RestrictRealtime=yes\n"
         "RestrictSUIDSGID=yes\n"
         "LockPersonality=yes\n"
         "MemoryDenyWriteExecute=yes\n"
         "RemoveIPC=yes\n"
         "KeyringMode=private\n"
         "RestrictAddressFamilies=AF_UNIX AF_INET\n"
         "IPAddressDeny=any\n"
         "IPAddressAllow=localhost\n"
         "SystemCallArchitectures=native\n"
         "SystemCallFilter=@system-service\n"
         "SystemCallFilter=~@privileged @resources\n"
         "SystemCallErrorNumber=EPERM\n";
}

}  // namespace

std::string ServiceUnitDirectory() {
  return FromEnvironment("QVX_SYSTEMD_UNIT_DIR", kDefaultUnitDirectory);
}

std::string ServiceStateFile(const std::string& serviceName) {
  return FromEnvironment("QVX_SERVICE_STATE_DIR", "/run/" + serviceName) + "/" + serviceName +
         ".state";
}

namespace detail {

std::string RenderUnit(const UnitDescription& unit) {
  std::string text = "[Unit]\n";
  text += "Description=" + unit.displayName + "\n";
  text += "\n[Service]\n";
  // The service reports start-up and stop through sd_notify.
  text += "Type=notify\n";
  text += "ExecStart=" + QuoteExecPath(Unquoted(unit.binaryPath)) + "\n";
  text += "KillMode=mixed\n";
  text += "Restart=on-failure\n";
  if (unit.account == kLocalServiceAccount) {
    // A dynamic user with no rights beyond its own directories takes the
    // place of the local service account; its state directory is the
    // machine-wide data folder it may write to.
    text += "DynamicUser=yes\n";
    text += "StateDirectory=" + unit.serviceName + "\n";
    text += "Environment=ALLUSERSPROFILE=/var/lib/" + unit.serviceName + "\n";
    // A local service answers what any local program sends it: bounds on
    // its descriptors and memory keep a misbehaving client from starving
    // the machine (memory is reclaimed hard above High, the service is
    // ended above Max).
    text += "LimitNOFILE=1024\n";
    text += "MemoryHigh=128M\n";
    text += "MemoryMax=256M\n";
    text += "LogsDirectory=" + unit.serviceName + "\n";
    text += "RuntimeDirectory=" + unit.serviceName + "\n";
    text += LocalServiceSandbox();
  } else {
    text += "RuntimeDirectory=" + unit.serviceName + "\n";
  }
  if (unit.startType == SERVICE_AUTO_START) {
    text += "\n[Install]\n";
    text += "WantedBy=multi-user.target\n";
  }
  return text;
}

bool IsCredentialName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

std::string WithCredential(const std::string& unitText, const std::string& name,
                           const std::string& path) {
  std::string escaped;  // '%' starts a specifier in unit files
  for (const char c : path) escaped += c == '%' ? std::string("%%") : std::string(1, c);
  const std::string section = "[Service]\n";
  const std::size_t at = unitText.find(section);
  const std::string line = "LoadCredential=" + name + ":" + escaped + "\n";
  if (at == std::string::npos) return unitText + "\n" + section + line;
  return unitText.substr(0, at + section.size()) + line + unitText.substr(at + section.size());
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return true;
}

std::string UnitFilePath(const std::string& serviceName) {
  return ServiceUnitDirectory() + "/" + serviceName + ".service";
}

bool SystemdManagesUnits() {
  struct stat st {};
  return ::lstat("/run/systemd/system", &st) == 0 && S_ISDIR(st.st_mode) &&
         ServiceUnitDirectory() == kDefaultUnitDirectory;
}

bool RunSystemctl(const std::vector<std::string>& arguments) {
  std::vector<std::string> words = {"systemctl", "--quiet"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "systemctl", nullptr, nullptr, argv.data(), environ) != 0) {
    return false;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ReadState(const std::string& serviceName, StateRecord& record) {
  std::ifstream in(ServiceStateFile(serviceName));
  if (!in) return false;
  record = StateRecord{};
  record.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  std::string key;
  unsigned long long value = 0;
  bool sawState = false;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    if (!std::getline(fields, key, '=') || !(fields >> value)) continue;
    const auto word = static_cast<DWORD>(value);
    if (key == "PID") record.pid = static_cast<pid_t>(value);
    if (key == "STATE") {
      record.status.dwCurrentState = word;
      sawState = true;
    }
    if (key == "CONTROLS_ACCEPTED") record.status.dwControlsAccepted = word;
    if (key == "WIN32_EXIT_CODE") record.status.dwWin32ExitCode = word;
    if (key == "SERVICE_EXIT_CODE") record.status.dwServiceSpecificExitCode = word;
    if (key == "CHECK_POINT") record.status.dwCheckPoint = word;
    if (key == "WAIT_HINT") record.status.dwWaitHint = word;
  }
  return sawState && record.pid > 0;
}

void WriteState(const std::string& serviceName, const SERVICE_STATUS& status) {
  std::ostringstream text;
  text << "PID=" << ::getpid() << "\nSTATE=" << status.dwCurrentState
       << "\nCONTROLS_ACCEPTED=" << status.dwControlsAccepted
       << "\nWIN32_EXIT_CODE=" << status.dwWin32ExitCode
       << "\nSERVICE_EXIT_CODE=" << status.dwServiceSpecificExitCode
       << "\nCHECK_POINT=" << status.dwCheckPoint << "\nWAIT_HINT=" << status.dwWaitHint << "\n";
  const std::string path = ServiceStateFile(serviceName);
  const std::string directory = path.substr(0, path.rfind('/'));
  if (::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) ThrowErrno(errno);
  const std::string temporary = path + ".new";
  std::ofstream out(temporary, std::ios::trunc);
  out << text.str();
  out.close();
  if (!out) ThrowError(ERROR_GEN_FAILURE);
  // Readers see the old record or the new one, never half of one.
  if (::rename(temporary.c_str(), path.c_str()) != 0) ThrowErrno(errno);
}

bool ProcessAlive(pid_t pid) {
  if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM)) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t close = all.rfind(')');
  return close == std::string::npos || close + 2 >= all.size() || all[close + 2] != 'Z';
}

}  // namespace detail
}  // namespace platform
