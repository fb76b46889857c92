// Child processes for the platform tests, and the shared private
// directories and environment overrides.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include "PrivateDir.h"
#include "ScopedEnv.h"

namespace qvx::testing {

using qvx::testing::PrivateDir;
using qvx::testing::ScopedEnv;

// Runs `body` in a forked child that ends with its result as exit code.
template <typename Body>
pid_t StartChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::_exit(body());
  }
  return pid;
}

// The child's exit code, or -1 when it did not exit normally.
inline int JoinChild(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

}  // namespace qvx::testing
