#include "ScopedEnv.h"

#include <stdlib.h>

#include <stdexcept>

namespace qvx::testing {

namespace {

void Put(const std::string& name, const char* value) {
  const int result = value != nullptr ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str());
  if (result != 0) throw std::runtime_error("cannot set " + name);
}

}  // namespace

void ScopedEnv::Set(const std::string& name, const char* value) {
  const char* old = ::getenv(name.c_str());
  m_saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
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
