#include "DebugCapture.h"

#include <algorithm>
#include <chrono>

#include "kernel/DebugPrint.h"

namespace qvx::testing {

DebugCapture::DebugCapture() { qvx::driver::SetDebugSink(&DebugCapture::Sink, this); }

DebugCapture::~DebugCapture() { qvx::driver::SetDebugSink(nullptr, nullptr); }

std::vector<std::string> DebugCapture::Lines() {
  std::lock_guard<std::mutex> guard(m_mutex);
  return m_lines;
}

std::size_t DebugCapture::Count(const std::string& line) {
  std::lock_guard<std::mutex> guard(m_mutex);
  return CountLocked(line);
}

bool DebugCapture::WaitForCount(const std::string& line, std::size_t count) {
  return WaitUntil([&] { return CountLocked(line) >= count; });
}

bool DebugCapture::WaitForLine(const std::string& prefix, const std::string& part) {
  return WaitUntil([&] {
    return std::any_of(m_lines.begin(), m_lines.end(), [&](const std::string& line) {
      return line.rfind(prefix, 0) == 0 && line.find(part) != std::string::npos;
    });
  });
}

void DebugCapture::Sink(void* context, const char* line) {
  auto* self = static_cast<DebugCapture*>(context);
  {
    std::lock_guard<std::mutex> guard(self->m_mutex);
    self->m_lines.emplace_back(line);
  }
  self->m_added.notify_all();
}

std::size_t DebugCapture::CountLocked(const std::string& line) const {
  return static_cast<std::size_t>(std::count(m_lines.begin(), m_lines.end(), line));
}

bool DebugCapture::WaitUntil(const std::function<bool()>& pred) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_added.wait_for(lock, std::chrono::seconds(5), pred);
}

}  // namespace qvx::testing
