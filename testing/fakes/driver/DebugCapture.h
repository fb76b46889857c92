// Captures the driver's DbgPrint lines while alive; waits for a line are
// woken by the line itself.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace qvx::testing {

class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();

  std::vector<std::string> Lines();
  std::size_t Count(const std::string& line);
  // Each waits up to 5 s: until `line` was printed `count` times, or until a
  // line starting with `prefix` and holding `part` was printed.
  bool WaitForCount(const std::string& line, std::size_t count);
  bool WaitForLine(const std::string& prefix, const std::string& part);

 private:
  static void Sink(void* context, const char* line);
  std::size_t CountLocked(const std::string& line) const;
  bool WaitUntil(const std::function<bool()>& pred);

  std::mutex m_mutex;
  std::condition_variable m_added;
  std::vector<std::string> m_lines;
};

}  // namespace qvx::testing
