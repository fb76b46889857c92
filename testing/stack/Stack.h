// The device stack of one test or benchmark: qvxsim and a private pcscd with
// the driver, brought up by scripts/stack in a fresh temporary directory and
// taken down (and the directory removed) with the object.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "PrivateDir.h"
#include "Subprocess.h"

namespace qvx::testing {

// Whether this run is on the USB lane (QVX_E2E_LANE=usb): every stack is then
// the emulated USB device under pcscd's hotplug, with one reader.
bool UsbLane();

// Skips the running test on the USB lane, saying why it cannot run there.
#define QVX_SOCKET_LANE_ONLY(reason) \
  if (::qvx::testing::UsbLane()) GTEST_SKIP() << "socket lane only: " << (reason)

// Why tests skip the USB lane.
inline constexpr const char* kNeedsTwoReaders = "needs two readers; the USB lane has one";

struct StackOptions {
  bool paced = false;  // one packet per millisecond at the device
  int readers = 1;
  bool debug = false;  // pcscd at debug level: the driver's debug lines
  // The device on emulated USB, found by pcscd's hotplug (one reader).
  bool usb = UsbLane();
  std::optional<std::string> usbSerial;  // the serial number string; "" for none
  std::string usbInterfaceName;          // the interface's string; none when empty
  bool usbUnconfigured = false;          // plugged in without a configuration selected
};

// The name pcscd gives the driver's reader `unit` on this run's lane: from
// reader.conf, or from hotplug with the device's serial number.
std::string ReaderName(int unit = 0);
// The hotplug name of the emulated USB device (serial number QVX2000001).
std::string UsbReaderName();

// Paths of the programs under test.
const char* QvxcmdPath();
const char* QvxsimPath();
const char* StackScriptPath();
// scripts/stack ARGS, with the build's programs in place of its defaults.
ProcessResult RunStackScript(const std::vector<std::string>& args);

class Stack;
// Until the simulated device `unit` waits for its customer (10 s at most).
bool DeviceWaits(const Stack& stack, int unit = 0);

class Stack {
 public:
  // Throws std::runtime_error with the script's output when it fails.
  explicit Stack(const StackOptions& options = {});
  ~Stack();
  Stack(const Stack&) = delete;
  Stack& operator=(const Stack&) = delete;

  // Whether this machine can run the stack of this run's lane; the reason
  // otherwise.
  static bool Available(std::string* why);
  // The same for the USB lane: umockdev, and root for pcscd's mount namespace.
  static bool UsbAvailable(std::string* why);

  const std::string& Dir() const { return m_dir; }
  int Readers() const { return m_readers; }
  // What DIR/env exports.
  const Environment& Env() const { return m_env; }
  // Exports Env() into this process. The pcsc-lite client reads its socket
  // path once, so this must come before the process's first PC/SC call.
  void ExportToThisProcess() const;

  // A control-socket command for simulator `unit`; its answer. Throws when
  // the simulator refuses it.
  std::string Control(const std::string& command, int unit = 0) const;

  // qvxcmd ARGS with the stack's environment.
  ProcessResult Qvxcmd(const std::vector<std::string>& args) const;
  std::vector<std::string> QvxcmdArgv(const std::vector<std::string>& args) const;

  pid_t PcscdPid() const;
  pid_t SimulatorPid(int unit = 0) const;
  std::string PcscdLog() const;
  std::string ServiceLog() const;  // the command library's log file

 private:
  std::string ReadText(const std::string& name) const;

  PrivateDir m_private;
  std::string m_dir;
  int m_readers;
  Environment m_env;
};

}  // namespace qvx::testing
