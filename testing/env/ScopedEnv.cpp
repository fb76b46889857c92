#include "ScopedEnv.h"

#include <stdexcept>

#include "platform/System.h"

namespace qvx::testing {

namespace {

// The process environment the platform layer reads (on Windows not the C
// runtime's copy, which getenv would see).
void Put(const std::string& name, const char* value) {
  if (!SetEnvironmentVariable(name.c_str(), value)) throw std::runtime_error("cannot set " + name);
}

std::optional<std::string> Get(const std::string& name) {
  std::string value(64, '\0');
  for (;;) {
    const platform::DWORD result = GetEnvironmentVariable(
        name.c_str(), value.data(), static_cast<platform::DWORD>(value.size()));
    if (result == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      value.clear();  // set and empty (or unreadable, which the next Put reports)
      return value;
    }
    if (result < value.size()) {
      value.resize(result);
      return value;
    }
    value.resize(result);
  }
}

}  // namespace

void ScopedEnv::Set(const std::string& name, const char* value) {
  m_saved.emplace_back(name, Get(name));
  Put(name, value);
}

ScopedEnv::~ScopedEnv() {
  for (auto saved = m_saved.rbegin(); saved != m_saved.rend(); ++saved) {
    try {
      Put(saved->first, saved->second ? saved->second->c_str() : nullptr);
    } catch (...) {
      // Destructors never throw; only an invalid name fails, and Set refused it first.
    }
  }
}

}  // namespace qvx::testing
