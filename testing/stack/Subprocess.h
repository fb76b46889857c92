// Child processes for the end-to-end tests: a program with extra
// environment variables, its output captured, its exit code returned.
#pragma once

#include <sys/types.h>

#include <array>
#include <map>
#include <string>
#include <vector>

namespace qvx::testing {

using Environment = std::map<std::string, std::string>;

struct ProcessResult {
  int exitCode = -1;   // -1 when the child was killed by a signal
  std::string output;  // standard output
  std::string errors;  // standard error
};

// A running child. Wait() collects what it wrote and how it ended; the
// destructor kills and reaps a child nobody waited for.
class Child {
 public:
  // Runs argv[0] (a path) with this process's environment plus `extra`.
  Child(const std::vector<std::string>& argv, const Environment& extra);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return m_pid; }
  ProcessResult Wait();

 private:
  pid_t m_pid = -1;
  int m_out = -1;
  int m_err = -1;
};

ProcessResult Run(const std::vector<std::string>& argv, const Environment& extra = {});

// The two ends of a pipe, both close-on-exec.
struct PipeEnds {
  int read = -1;
  int write = -1;
};
// Two pipes for a child to come; throws std::runtime_error, leaving none
// open, when they cannot be made.
std::array<PipeEnds, 2> MakePipes();
// fork(): 0 in the child, its pid in the parent; closes `pipes` and throws
// std::runtime_error when it fails.
pid_t ForkWith(const std::array<PipeEnds, 2>& pipes);

}  // namespace qvx::testing
