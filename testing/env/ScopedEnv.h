// Environment variables set (or unset) for the life of an object: every
// variable it touched gets its earlier value back when it goes, the last
// one set first.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qvx::testing {

class ScopedEnv {
 public:
  ScopedEnv() = default;
  // A null value unsets the variable.
  ScopedEnv(const std::string& name, const char* value) { Set(name, value); }
  ScopedEnv(const std::string& name, const std::string& value) { Set(name, value); }
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const std::string& name, const char* value);
  void Set(const std::string& name, const std::string& value) { Set(name, value.c_str()); }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace qvx::testing
