// CPU time a process has used so far, from /proc/PID/stat.
#pragma once

#include <sys/types.h>

namespace qvx::bench {

// utime + stime in seconds (of all the process's threads); throws
// std::runtime_error when the process is gone.
double CpuSeconds(pid_t pid);

}  // namespace qvx::bench
