#include "Stack.h"

#include "Eventually.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#if !defined(QVX_STACK_SCRIPT) || !defined(QVXSIM_PATH) || !defined(QVXRDR_PATH) || \
    !defined(QVXCMD_PATH) || !defined(QVX_SOCKET_ACTIVATE_PATH) ||                  \
    !defined(QVX_LIST_READERS_PATH) || !defined(QVXSIM_HAS_USB)
#error "the build passes the paths of the stack's programs"
#endif

namespace qvx::testing {

namespace {

// The script reads these in place of its --build defaults.
Environment ProgramPaths() {
  return {{"QVXSIM_BIN", QVXSIM_PATH},
          {"QVXRDR_LIB", QVXRDR_PATH},
          {"QVX_SOCKET_ACTIVATE_BIN", QVX_SOCKET_ACTIVATE_PATH},
          {"QVX_LIST_READERS_BIN", QVX_LIST_READERS_PATH}};
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

Environment ParseEnvFile(const std::string& path) {
  Environment env;
  std::ifstream in(path);
  std::string line;
  const std::string prefix = "export ";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) != 0) continue;
    const std::string assignment = line.substr(prefix.size());
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos) continue;
    env[assignment.substr(0, equals)] = assignment.substr(equals + 1);
  }
  return env;
}

}  // namespace

bool UsbLane() {
  const char* lane = std::getenv("QVX_E2E_LANE");
  return lane != nullptr && std::string(lane) == "usb";
}

std::string UsbReaderName() { return "Meridel Quorvex2_Reader (QVX2000001) 00 00"; }

std::string ReaderName(int unit) {
  if (UsbLane()) return UsbReaderName();  // one reader on that lane
  const std::string number = (unit < 10 ? "0" : "") + std::to_string(unit);
  return "Meridel Quorvex2_Reader " + number + " 00";
}

const char* QvxcmdPath() { return QVXCMD_PATH; }
const char* QvxsimPath() { return QVXSIM_PATH; }
const char* StackScriptPath() { return QVX_STACK_SCRIPT; }

ProcessResult RunStackScript(const std::vector<std::string>& args) {
  std::vector<std::string> argv{QVX_STACK_SCRIPT};
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(argv, ProgramPaths());
}

namespace {

bool PcscdAvailable(std::string* why) {
  std::string reason;
  if (access("/usr/sbin/pcscd", X_OK) != 0)
    reason = "no /usr/sbin/pcscd";
  else if (geteuid() != 0 && access("/run/pcscd", W_OK) != 0)
    reason = "pcscd needs root (a private /run/pcscd) or a writable /run/pcscd";
  if (why != nullptr) *why = reason;
  return reason.empty();
}

}  // namespace

bool Stack::Available(std::string* why) {
  return UsbLane() ? UsbAvailable(why) : PcscdAvailable(why);
}

bool Stack::UsbAvailable(std::string* why) {
  // Asked before every test on the USB lane: find out once.
  static const std::string failure = [] {
    std::string reason;
    if (!PcscdAvailable(&reason)) {
    } else if (!QVXSIM_HAS_USB) {
      reason = "qvxsim was built without umockdev (libumockdev-dev)";
    } else if (geteuid() != 0) {
      reason = "the USB lane needs root: pcscd's drivers folder is mounted over in a namespace";
    } else if (Run({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/true"})
                   .exitCode != 0) {
      reason = "unshare --mount is not permitted here";
    }
    return reason;
  }();
  if (why != nullptr) *why = failure;
  return failure.empty();
}

Stack::Stack(const StackOptions& options)
    : m_private("qvx-e2e"), m_dir(m_private.Path()), m_readers(options.readers) {
  std::vector<std::string> argv{"up",        m_dir,
                                "--readers", std::to_string(options.readers),
                                "--watch",   std::to_string(getpid())};
  if (options.paced) argv.emplace_back("--paced");
  if (options.debug) argv.emplace_back("--debug");
  if (options.usb) argv.emplace_back("--usb");
  if (options.usbSerial) argv.insert(argv.end(), {"--usb-serial", *options.usbSerial});
  if (!options.usbInterfaceName.empty()) {
    argv.insert(argv.end(), {"--usb-interface-name", options.usbInterfaceName});
  }
  if (options.usbUnconfigured) argv.emplace_back("--usb-unconfigured");
  const ProcessResult up = RunStackScript(argv);
  if (up.exitCode != 0) {
    RunStackScript({"down", m_dir});
    throw std::runtime_error("scripts/stack up failed (" + std::to_string(up.exitCode) + "):\n" +
                             up.output + up.errors);
  }
  m_env = ParseEnvFile(m_dir + "/env");
}

Stack::~Stack() {
  try {
    RunStackScript({"down", m_dir});
    // Keep the directory of a failed run for a look when asked to.
    if (std::getenv("QVX_KEEP_STACK") != nullptr) m_private.Keep();
  } catch (...) {
    // The watcher takes the stack down when this process ends.
  }
}

void Stack::ExportToThisProcess() const {
  for (const auto& [name, value] : m_env) setenv(name.c_str(), value.c_str(), 1);
}

std::string Stack::Control(const std::string& command, int unit) const {
  std::vector<std::string> argv{QVXSIM_PATH, "ctl", m_dir + "/sim" + std::to_string(unit) + ".ctl"};
  std::istringstream words(command);
  for (std::string word; words >> word;) argv.push_back(word);
  const ProcessResult result = Run(argv);
  if (result.exitCode != 0)
    throw std::runtime_error("qvxsim ctl " + command + " failed (" +
                             std::to_string(result.exitCode) + "): " + result.output +
                             result.errors);
  return result.output;
}

std::vector<std::string> Stack::QvxcmdArgv(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{QVXCMD_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

ProcessResult Stack::Qvxcmd(const std::vector<std::string>& args) const {
  return Run(QvxcmdArgv(args), m_env);
}

std::string Stack::ReadText(const std::string& name) const {
  std::ifstream in(m_dir + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

pid_t Stack::PcscdPid() const { return std::stoi(Trimmed(ReadText("pcscd.pid"))); }

pid_t Stack::SimulatorPid(int unit) const {
  return std::stoi(Trimmed(ReadText("sim" + std::to_string(unit) + ".pid")));
}

bool DeviceWaits(const Stack& stack, int unit) {
  return Eventually(
      [&] { return stack.Control("state", unit).find("waiting=yes") != std::string::npos; });
}

std::string Stack::PcscdLog() const { return ReadText("pcscd.log"); }

std::string Stack::ServiceLog() const { return ReadText("BRIXWSSVR/Brixwssvr_Log.txt"); }

}  // namespace qvx::testing
