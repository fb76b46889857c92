#include "ProcessStatus.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace qvx::bench {

namespace {

// The number after "Key:" ("VmRSS:    5120 kB") in a status file.
long StatusValue(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  const std::string prefix = key + ":";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  throw std::runtime_error("no " + key + " in " + path);
}

long StatusValue(pid_t pid, const std::string& key) {
  return StatusValue("/proc/" + std::to_string(pid) + "/status", key);
}

}  // namespace

long ResidentKiB(pid_t pid) { return StatusValue(pid, "VmRSS"); }

long ThreadCount(pid_t pid) { return StatusValue(pid, "Threads"); }

long VoluntarySwitches(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  std::filesystem::directory_iterator entries(tasks, error);
  if (error) throw std::runtime_error("cannot list " + tasks);
  long total = 0;
  for (const auto& task : entries) {
    try {
      total += StatusValue(task.path().string() + "/status", "voluntary_ctxt_switches");
    } catch (const std::runtime_error&) {
      // The thread ended between the listing and the read.
    }
  }
  return total;
}

}  // namespace qvx::bench
