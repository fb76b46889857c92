#include "ProcessStatus.h"

#include <fstream>
#include <stdexcept>
#include <string>

namespace qvxbench {

namespace {

// The number after "Key:" ("VmRSS:    5120 kB").
long StatusValue(pid_t pid, const std::string& key) {
  const std::string path = "/proc/" + std::to_string(pid) + "/status";
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  const std::string prefix = key + ":";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  throw std::runtime_error("no " + key + " in " + path);
}

}  // namespace

long ResidentKiB(pid_t pid) { return StatusValue(pid, "VmRSS"); }

long ThreadCount(pid_t pid) { return StatusValue(pid, "Threads"); }

}  // namespace qvxbench
