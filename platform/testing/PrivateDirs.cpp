#include "PrivateDirs.h"

#include <stdlib.h>

#include <stdexcept>

namespace qvxtest {

PrivateDirs::PrivateDirs(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_dir = pattern;
  std::filesystem::create_directories(m_dir / "objects");
  std::filesystem::create_directories(m_dir / "registry");
  ::setenv("QVX_OBJECT_DIR", (m_dir / "objects").c_str(), 1);
  ::setenv("QVX_REGISTRY_ROOT", (m_dir / "registry").c_str(), 1);
  ::setenv("ALLUSERSPROFILE", m_dir.c_str(), 1);
}

PrivateDirs::~PrivateDirs() {
  std::error_code ignored;
  std::filesystem::remove_all(m_dir, ignored);
}

}  // namespace qvxtest
