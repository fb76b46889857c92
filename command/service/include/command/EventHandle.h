// Owns one platform event handle and closes it exactly once.
#pragma once

#include <utility>

#include "platform/Sync.h"

namespace qvx {

class CEventHandle {
 public:
  CEventHandle() = default;
  explicit CEventHandle(platform::HANDLE handle) : m_handle(handle) {}
  ~CEventHandle() { Reset(); }
  CEventHandle(const CEventHandle&) = delete;
  CEventHandle& operator=(const CEventHandle&) = delete;
  CEventHandle(CEventHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  CEventHandle& operator=(CEventHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
  }

  platform::HANDLE Get() const { return m_handle; }
  explicit operator bool() const { return m_handle != nullptr; }
  void Reset() noexcept {
    if (m_handle != nullptr) CloseHandle(std::exchange(m_handle, nullptr));
  }

 private:
  platform::HANDLE m_handle = nullptr;
};

}  // namespace qvx
