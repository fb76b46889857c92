// What /proc/PID/status says of a process's memory and threads.
#pragma once

#include <sys/types.h>

namespace qvx::bench {

// VmRSS in KiB; throws std::runtime_error when the process is gone.
long ResidentKiB(pid_t pid);

// Threads of the process; throws std::runtime_error when it is gone.
long ThreadCount(pid_t pid);

// Times the process's threads gave up the CPU to wait (voluntary context
// switches over /proc/PID/task/*/status): each is a sleep, so the growth
// over a window counts the wake-ups. Threads that ended are not counted.
long VoluntarySwitches(pid_t pid);

}  // namespace qvx::bench
