// CRegistry and the log file path it places.
#include <algorithm>
#include <array>

#include "command/Log.h"
#include "command/Settings.h"
#include "platform/Registry.h"
#include "platform/System.h"

namespace qvx {

namespace {

constexpr const char* kWSSLogFilePathValue = "WSSLogFilePath";
constexpr platform::DWORD kLogPathValueSize = 259;

std::string DefaultLogDirectory() {
  return std::string("%ALLUSERSPROFILE%") + platform::kPathSeparator + "BRIXWSSVR";
}

}  // namespace

CRegistry::CRegistry() {
  platform::HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kRegistryKeyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    m_key = key;
  }
}

CRegistry::~CRegistry() {
  if (m_key != nullptr) RegCloseKey(m_key);
}

std::string CRegistry::GetWSSLogFilePath() const {
  if (m_key == nullptr) return {};
  // One byte more than the value may use, for the terminator.
  std::array<char, kLogPathValueSize + 1> buffer{};
  platform::DWORD type = 0;
  platform::DWORD size = kLogPathValueSize;
  if (RegQueryValueEx(m_key, kWSSLogFilePathValue, nullptr, &type,
                      reinterpret_cast<platform::BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
    return {};  // missing, or too long for the buffer
  }
  buffer[std::min(size, kLogPathValueSize)] = '\0';
  std::string path = buffer.data();
  // Quotes are allowed around a path with blanks; they are not part of it.
  path.erase(std::remove(path.begin(), path.end(), '"'), path.end());
  return path;
}

std::string WSSLogFilePath() {
  std::string directory = CRegistry().GetWSSLogFilePath();
  if (directory.empty()) directory = DefaultLogDirectory();

  std::string expanded = ExpandPath(directory);
  // A configured directory too long to expand would otherwise leave no log
  // at all; the default directory keeps diagnostics available.
  if (expanded.empty()) expanded = ExpandPath(DefaultLogDirectory());
  if (expanded.empty()) return {};

  if (expanded.back() != platform::kPathSeparator) {
    expanded += platform::kPathSeparator;
  }
  return expanded + kServiceLogFileName;
}

}  // namespace qvx
