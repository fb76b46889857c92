#include "PrivateDir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace qvx::testing {

namespace {

namespace fs = std::filesystem;

// A socket path must fit sun_path (108 bytes): a deep TMPDIR is passed over.
constexpr std::size_t kLongestBase = 40;

std::string Base() {
  const char* tmp = ::getenv("TMPDIR");
  if (tmp != nullptr && *tmp != '\0' && std::strlen(tmp) < kLongestBase) return tmp;
  return "/tmp";
}

}  // namespace

PrivateDir::PrivateDir(const std::string& prefix, Places places) {
  std::string pattern = Base() + "/" + prefix + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp " + pattern + ": " + std::strerror(errno));
  m_path = pattern;
  if (places == Places::kPlatform) {
    Export("QVX_OBJECT_DIR", "objects");
    Export("QVX_REGISTRY_ROOT", "registry");
    Export("ALLUSERSPROFILE");
  }
}

PrivateDir::~PrivateDir() {
  if (m_keep) return;
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

std::string PrivateDir::Make(const std::string& name) const {
  const std::string path = *this / name;
  fs::create_directories(path);
  return path;
}

void PrivateDir::Export(const std::string& variable, const std::string& name) {
  m_env.Set(variable, name.empty() ? m_path : Make(name));
}

}  // namespace qvx::testing
