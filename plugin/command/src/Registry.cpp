// The plug-in's registry values: where the log lives and when it was last
// cleaned up.
#include <array>

#include "brixon/Error.h"
#include "brixon/Log.h"

namespace qvx::brixon {
namespace {

constexpr platform::DWORD kValueBufferSize = 260;

std::string Failed(const char* call, const char* valueName = nullptr) {
  std::string text = std::string(call) + "\\" + kRegistryKeyPath;
  if (valueName != nullptr) text += std::string("\\") + valueName;
  return text + ") failed.";
}

// The string value, or empty when it is missing; other failures raise.
std::string QueryString(platform::HKEY key, const char* valueName, const char* call,
                        const char* label) {
  std::array<char, kValueBufferSize + 1> buffer{};
  platform::DWORD type = 0;
  platform::DWORD size = kValueBufferSize;
  const platform::LONG result = RegQueryValueEx(
      key, valueName, nullptr, &type, reinterpret_cast<platform::BYTE*>(buffer.data()), &size);
  if (result == static_cast<platform::LONG>(ERROR_FILE_NOT_FOUND)) return {};
  if (result != static_cast<platform::LONG>(ERROR_SUCCESS)) {
    throw CError(label, Failed(call, valueName), static_cast<std::uint32_t>(result));
  }
  buffer[size < kValueBufferSize ? size : kValueBufferSize] = '\0';
  return buffer.data();
}

}  // namespace

CRegistry::CRegistry() {
  // Without the machine key there is simply no configured log directory.
  platform::HKEY machineKey = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kRegistryKeyPath, 0, KEY_READ, &machineKey) ==
      static_cast<platform::LONG>(ERROR_SUCCESS)) {
    m_machineKey = machineKey;
  }
  platform::HKEY userKey = nullptr;
  platform::DWORD disposition = 0;
  const platform::LONG result =
      RegCreateKeyEx(HKEY_CURRENT_USER, kRegistryKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                     KEY_ALL_ACCESS, nullptr, &userKey, &disposition);
  if (result != static_cast<platform::LONG>(ERROR_SUCCESS)) {
    if (m_machineKey != nullptr) RegCloseKey(m_machineKey);
    throw CError("CRegistry::CRegistry()", Failed("RegCreateKeyEx(HKCU"),
                 static_cast<std::uint32_t>(result));
  }
  m_userKey = userKey;
}

CRegistry::~CRegistry() {
  // A key that does not close is only worth a line; destructors never raise.
  if (m_machineKey != nullptr &&
      RegCloseKey(m_machineKey) != static_cast<platform::LONG>(ERROR_SUCCESS)) {
    CLog::Log(LEVEL_ERROR, "CRegistry::~CRegistry(): " + Failed("RegCloseKey(HKLM"));
  }
  if (m_userKey != nullptr &&
      RegCloseKey(m_userKey) != static_cast<platform::LONG>(ERROR_SUCCESS)) {
    CLog::Log(LEVEL_ERROR, "CRegistry::~CRegistry(): " + Failed("RegCloseKey(HKCU"));
  }
}

std::string CRegistry::GetLogFilePath() const {
  if (m_machineKey == nullptr) return {};
  return QueryString(m_machineKey, kLogFilePathValue, "2. RegQueryValueEx(HKLM",
                     "CRegistry::GetLogFilePath()");
}

std::string CRegistry::GetLogFileCleanupDate() const {
  return QueryString(m_userKey, kLogFileCleanupDateValue, "2. RegQueryValueEx(HKCU",
                     "CRegistry::GetLogFileCleanupDate()");
}

void CRegistry::SetLogFileCleanupDate(const std::string& date) const {
  const platform::LONG result = RegSetValueEx(m_userKey, kLogFileCleanupDateValue, 0, REG_SZ,
                                              reinterpret_cast<const platform::BYTE*>(date.c_str()),
                                              static_cast<platform::DWORD>(date.size() + 1));
  if (result != static_cast<platform::LONG>(ERROR_SUCCESS)) {
    throw CError("CRegistry::SetLogFileCleanupDate()",
                 Failed("RegSetValueEx(HKCU", kLogFileCleanupDateValue),
                 static_cast<std::uint32_t>(result));
  }
}

}  // namespace qvx::brixon
