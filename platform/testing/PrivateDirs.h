// A temporary directory of the test's own, with the machine-wide places of
// the platform layer moved into it: named objects (QVX_OBJECT_DIR), the
// registry (QVX_REGISTRY_ROOT) and the default log directory
// (ALLUSERSPROFILE). Removed again when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace qvxtest {

class PrivateDirs {
 public:
  explicit PrivateDirs(const std::string& prefix = "qvx-test");
  ~PrivateDirs();
  PrivateDirs(const PrivateDirs&) = delete;
  PrivateDirs& operator=(const PrivateDirs&) = delete;

  const std::filesystem::path& Path() const { return m_dir; }

 private:
  std::filesystem::path m_dir;
};

}  // namespace qvxtest
