// ExpandEnvironmentStrings with the Windows rules and Linux stand-ins for
// the Windows variables the product relies on.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

#include "files/FileNames.h"
#include "platform/System.h"
#include "system/PlatformError.h"

namespace platform {

namespace {

std::string NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// XDG base directories count only when absolute.
std::string XdgDirectory(const char* variable, const char* homeRelative) {
  std::string value = NonEmptyVariable(variable);
  if (!value.empty() && value[0] == '/') {
    return value;
  }
  const std::string home = detail::HomeDirectory();
  return home.empty() ? std::string() : home + homeRelative;
}

// A directory of this user's that nobody else may enter: made when missing,
// closed when it was open to others; false when it is not the user's.
bool PrivateDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    return false;
  }
  return (st.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

// The temporary directory is the user's own, as on Windows: TMPDIR when
// set, else the user's runtime directory, else one in the user's cache
// directory (made 0700). The shared /tmp is left for a user without a home.
std::string TempDirectory() {
  const std::string tmp = NonEmptyVariable("TMPDIR");
  if (!tmp.empty()) return tmp;
  const std::string runtime = NonEmptyVariable("XDG_RUNTIME_DIR");
  if (!runtime.empty() && runtime[0] == '/') return runtime;
  const std::string cache = XdgDirectory("XDG_CACHE_HOME", "/.cache");
  if (!cache.empty()) {
    (void)::mkdir(cache.c_str(), 0700);
    const std::string own = cache + "/quorvex2";
    if (PrivateDirectory(own) && PrivateDirectory(own + "/temp")) return own + "/temp";
  }
  return "/tmp";
}

std::string StandIn(const std::string& canonical) {
  if (canonical == "ALLUSERSPROFILE" || canonical == "PROGRAMDATA") {
    return "/var/lib";
  }
  if (canonical == "USERPROFILE") {
    return detail::HomeDirectory();
  }
  if (canonical == "APPDATA") {
    return XdgDirectory("XDG_CONFIG_HOME", "/.config");
  }
  if (canonical == "LOCALAPPDATA") {
    return XdgDirectory("XDG_DATA_HOME", "/.local/share");
  }
  return TempDirectory();  // TEMP and TMP
}

bool HasStandIn(const std::string& canonical) {
  static const char* const kNames[] = {"ALLUSERSPROFILE", "PROGRAMDATA", "USERPROFILE", "APPDATA",
                                       "LOCALAPPDATA",    "TEMP",        "TMP"};
  for (const char* known : kNames) {
    if (canonical == known) {
      return true;
    }
  }
  return false;
}

std::optional<std::string> LookUp(const std::string& name) {
  if (name.empty() || name.find('=') != std::string::npos) {
    return std::nullopt;
  }
  const char* exact = std::getenv(name.c_str());
  std::string canonical = name;
  for (char& c : canonical) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  if (!HasStandIn(canonical)) {
    if (exact == nullptr) {
      return std::nullopt;
    }
    return std::string(exact);
  }
  // Windows never has these empty, so an empty value counts as unset here.
  if (exact != nullptr && *exact != '\0') {
    return std::string(exact);
  }
  std::string value = NonEmptyVariable(canonical.c_str());
  if (value.empty()) {
    value = StandIn(canonical);
  }
  if (value.empty()) {
    return std::nullopt;  // no home directory to base it on
  }
  return value;
}

}  // namespace

// As on Windows: a '%' that does not start a known %NAME% reference is copied
// and scanning goes on right after it, so its closing '%' may open the next
// reference ("%UNKNOWN%HOME%" keeps "%UNKNOWN" and expands "%HOME%").
std::string ExpandEnvironment(const std::string& source) {
  std::string out;
  out.reserve(source.size());
  std::size_t i = 0;
  while (i < source.size()) {
    if (source[i] != '%') {
      out += source[i++];
      continue;
    }
    const std::size_t close = source.find('%', i + 1);
    if (close != std::string::npos) {
      if (auto value = LookUp(source.substr(i + 1, close - i - 1))) {
        out += *value;
        i = close + 1;
        continue;
      }
    }
    out += '%';
    ++i;
  }
  return out;
}

DWORD ExpandEnvironmentStrings(const char* source, char* destination, DWORD size) {
  return detail::AtEdge<DWORD>(0, [&]() -> DWORD {
    if (source == nullptr) {
      detail::ThrowError(ERROR_INVALID_PARAMETER);
    }
    const std::string expanded = ExpandEnvironment(source);
    if (expanded.size() >= std::numeric_limits<DWORD>::max()) {
      detail::ThrowError(ERROR_NOT_ENOUGH_MEMORY);
    }
    const auto needed = static_cast<DWORD>(expanded.size() + 1);
    if (destination != nullptr && size >= needed) {
      std::memcpy(destination, expanded.c_str(), needed);
    }
    SetLastError(ERROR_SUCCESS);
    return needed;
  });
}

}  // namespace platform
