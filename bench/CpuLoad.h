// Every core kept busy by `stress-ng --cpu N` while it lives, as on a
// customer's computer that is doing something else: the loaded half of a
// benchmark that compares quiet and busy in one run.
#pragma once

#include <sys/types.h>

namespace qvx::bench {

class CpuLoad {
 public:
  // Starts one busy worker per core; throws std::runtime_error when
  // stress-ng cannot be started.
  CpuLoad();
  // Stops stress-ng and its workers.
  ~CpuLoad();
  CpuLoad(const CpuLoad&) = delete;
  CpuLoad& operator=(const CpuLoad&) = delete;

  unsigned Cores() const { return m_cores; }

 private:
  pid_t m_group = -1;
  unsigned m_cores = 1;
};

}  // namespace qvx::bench
