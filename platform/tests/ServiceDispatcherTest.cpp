// The dispatcher's signals: stop controls that arrive while a stop runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "PlatformTestSupport.h"
#include "platform/Service.h"

namespace platform {
namespace {

using qvx::testing::PrivateDir;
using qvx::testing::ScopedEnv;

SERVICE_STATUS_HANDLE gHandle = nullptr;
int gReady = -1;
int gStopSignals = 0;  // further SIGTERMs sent from inside the stop

void Report(DWORD state) {
  SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
  SetServiceStatus(gHandle, &status);
}

void Handler(DWORD control) {
  if (control != SERVICE_CONTROL_STOP) return;
  Report(SERVICE_STOP_PENDING);
  // Sent while this stop runs, as an impatient supervisor or person would.
  for (int i = 0; i < gStopSignals; ++i) ::kill(::getpid(), SIGTERM);
  Report(SERVICE_STOPPED);
}

void Main(DWORD, char**) {
  gHandle = RegisterServiceCtrlHandlerA("svc", &Handler);
  Report(SERVICE_RUNNING);
  const char byte = 'r';
  if (::write(gReady, &byte, 1) != 1) ::_exit(3);
}

// Runs the service in a child, stops it with one SIGTERM once it runs, and
// returns how the child ended: its exit code, or 128 + the signal.
int StopWithFurtherSignals(int further) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    // No terminal: the dispatcher runs as under a supervisor.
    ::dup2(::open("/dev/null", O_RDONLY), 0);
    ::close(ready[0]);
    gReady = ready[1];
    gStopSignals = further;
    const SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>("svc"), &Main}, {nullptr, nullptr}};
    ::_exit(StartServiceCtrlDispatcherA(table) ? 0 : 1);
  }
  ::close(ready[1]);
  char byte = 0;
  const bool running = ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  if (running) ::kill(child, SIGTERM);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!running) return -2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ServiceDispatcherTest, FurtherStopSignalsDuringAStopLetItFinish) {
  PrivateDir dir;
  ScopedEnv states("QVX_SERVICE_STATE_DIR", dir.Path().c_str());
  for (const int further : {0, 1, 3}) {
    EXPECT_EQ(StopWithFurtherSignals(further), 0) << further << " further SIGTERM";
  }
}

}  // namespace
}  // namespace platform
