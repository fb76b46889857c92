// Automation strings (BSTR): the owner CBstr and the ANSI conversions a
// script-facing member needs, over the system's BSTR calls or the Linux
// layer's (platform/com/os).
#pragma once

#include <memory>
#include <string>

#include "platform/com/ComTypes.h"
#include "platform/com/os/Bstr.h"

namespace platform {

// Owner of one BSTR: frees it at the end; `&owner` frees what it holds and
// hands its slot to an out-parameter.
class CBstr {
 public:
  CBstr() = default;
  explicit CBstr(BSTR owned) : m_text(owned) {}
  CBstr(const CBstr&) = delete;
  CBstr& operator=(const CBstr&) = delete;
  CBstr(CBstr&& other) noexcept : m_text(other.Detach()) {}
  CBstr& operator=(CBstr&& other) noexcept {
    if (this != std::addressof(other)) {
      SysFreeString(m_text);
      m_text = other.Detach();
    }
    return *this;
  }
  ~CBstr() { SysFreeString(m_text); }

  BSTR Get() const { return m_text; }
  operator BSTR() const { return m_text; }  // NOLINT: implicit like the Windows one
  BSTR Detach() {
    BSTR text = m_text;
    m_text = nullptr;
    return text;
  }
  BSTR* operator&() {
    SysFreeString(m_text);
    m_text = nullptr;
    return &m_text;
  }

 private:
  BSTR m_text = nullptr;
};

// The conversions a script-facing member needs: an automation string (null
// counts as empty) up to its first NUL -> ANSI text; ANSI text -> a new
// BSTR the caller owns (nullptr only when out of memory).
std::string BstrToAnsi(BSTR text);
BSTR AnsiToBstr(const std::string& text);

}  // namespace platform
