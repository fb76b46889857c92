#include "ProcessCpu.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace qvx::bench {

double CpuSeconds(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) throw std::runtime_error("cannot read " + path);
  // The command name in parentheses may hold blanks: count fields after it.
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos) throw std::runtime_error("unexpected " + path);
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  // Fields 3 to 13 come first; utime and stime are fields 14 and 15.
  for (int number = 3; number <= 13; ++number) fields >> field;
  unsigned long long utime = 0;
  unsigned long long stime = 0;
  if (!(fields >> utime >> stime)) throw std::runtime_error("unexpected " + path);
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace qvx::bench
