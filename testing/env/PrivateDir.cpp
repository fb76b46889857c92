#include "PrivateDir.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace qvx::testing {

namespace {

namespace fs = std::filesystem;

// A socket path must fit sun_path (108 bytes): a deep TMPDIR is passed over.
constexpr std::size_t kLongestBase = 40;

constexpr int kNameAttempts = 100;

// The system's temporary directory (TMPDIR, or on Windows TMP and TEMP) when
// short; else /tmp, which only a POSIX system has to offer.
std::string Base() {
  std::error_code failed;
  const std::string tmp = fs::temp_directory_path(failed).string();
  if (!failed && !tmp.empty() && tmp.size() < kLongestBase) return tmp;
  return "/tmp";
}

// A directory of a fresh name that only the caller may enter (mkdtemp's
// promise, made portably: creating an existing directory answers false).
std::string MakeUniqueDirectory(const std::string& stem) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string path = stem;
    for (int i = 0; i < 6; ++i) path += kLetters[pick(random)];
    std::error_code failed;
    if (fs::create_directory(path, failed)) {
      fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace, failed);
      if (failed) {
        fs::remove(path, failed);
        throw std::runtime_error("cannot close " + path + " to others");
      }
      return path;
    }
    if (failed) throw std::runtime_error("cannot make " + path + ": " + failed.message());
  }
  throw std::runtime_error("no free name for " + stem + "XXXXXX");
}

}  // namespace

PrivateDir::PrivateDir(const std::string& prefix, Places places) {
  m_path = MakeUniqueDirectory(Base() + "/" + prefix + "-");
  if (places == Places::kPlatform) {
    Export("QVX_OBJECT_DIR", "objects");
    Export("QVX_REGISTRY_ROOT", "registry");
    Export("ALLUSERSPROFILE");
  }
}

namespace {

// remove_all, but one that ends: MinGW's libstdc++ retries a directory
// forever when a file in it cannot go (Windows keeps a file that is still
// open, such as a process-wide log). What cannot go stays.
void RemoveTree(const fs::path& path) {
  std::error_code error;
  if (fs::is_directory(fs::symlink_status(path, error))) {
    for (fs::directory_iterator entry(path, error), end; !error && entry != end;
         entry.increment(error)) {
      RemoveTree(entry->path());
    }
  }
  fs::remove(path, error);
}

}  // namespace

PrivateDir::~PrivateDir() {
  if (m_keep) return;
  RemoveTree(m_path);
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
