// The transport's card-event sink for tests: records each call by name.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "transport/CardEvents.h"

namespace qvx::testing {

class RecordingCardEvents final : public qvx::driver::ICardEvents {
 public:
  void OnCardStatus(bool inserted) override { Record(inserted ? "inserted" : "removed"); }
  void OnReadFailed() override { Record("read failed"); }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_calls;
  }

 private:
  void Record(const char* call) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_calls.emplace_back(call);
  }

  std::mutex m_mutex;
  std::vector<std::string> m_calls;
};

}  // namespace qvx::testing
