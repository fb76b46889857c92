// brixonnm's system part on Linux: the pipe on descriptors 0 and 1.
#include "nmhost/HostSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace qvx::nmhost {

bool InputIsConsole() { return isatty(STDIN_FILENO) != 0; }

void PreparePipe() { std::signal(SIGPIPE, SIG_IGN); }

std::size_t ReadInput(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return 0;
  }
}

void WriteOutput(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    done += static_cast<std::size_t>(wrote);
  }
}

// ALLUSERSPROFILE set (the machine's stand-in, a test's folder) places the
// log; otherwise $XDG_STATE_HOME/quorvex2, default ~/.local/state/quorvex2.
void PlaceCustomerLog() {
  if (std::getenv("ALLUSERSPROFILE")) return;
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
    base = std::string(home) + "/.local/state";
  } else {
    return;
  }
  const std::string dir = base + "/quorvex2";
  // Each level in turn; one that exists already is fine.
  for (std::size_t at = 1; at != std::string::npos;) {
    at = dir.find('/', at + 1);
    mkdir(dir.substr(0, at).c_str(), 0700);
  }
  setenv("ALLUSERSPROFILE", dir.c_str(), 1);
}

}  // namespace qvx::nmhost
