#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "PlatformTestSupport.h"

namespace platform {
namespace {

using qvx::testing::PrivateDir;
using qvx::testing::ScopedEnv;

const char kBrixonKey[] = "Software\\MERIDEL\\Quorvex2\\BRIXON";

class RegistryTest : public ::testing::Test {
 protected:
  PrivateDir m_temp;
  ScopedEnv m_root{"QVX_REGISTRY_ROOT", m_temp.Path().c_str()};

  HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             nullptr, &key, disposition),
              0);
    return key;
  }
  static LONG SetString(HKEY key, const char* name, const std::string& value) {
    return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1));
  }
  static std::string QueryString(HKEY key, const char* name) {
    char buffer[260] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != 0) {
      return "<missing>";
    }
    return buffer;
  }
};

TEST_F(RegistryTest, SetAndQueryRoundTripInTheDocumentedFileLayout) {
  DWORD disposition = 0;
  HKEY key = Create(HKEY_LOCAL_MACHINE, kBrixonKey, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(SetString(key, "WSSLogFilePath", "\"/var/log/qvx/\""), 0);

  DWORD type = 0;
  BYTE data[64] = {};
  DWORD size = sizeof data;
  ASSERT_EQ(RegQueryValueEx(key, "wsslogfilepath", nullptr, &type, data, &size), 0);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 16u);  // 15 characters and the zero
  EXPECT_STREQ(reinterpret_cast<char*>(data), "\"/var/log/qvx/\"");
  EXPECT_EQ(RegCloseKey(key), 0);

  std::ifstream file(
      m_temp.Path() + "/HKEY_LOCAL_MACHINE/software/meridel/quorvex2/brixon/wsslogfilepath.value",
      std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 4u + 16u);
  EXPECT_EQ(std::vector<char>(bytes.begin(), bytes.begin() + 5),
            (std::vector<char>{1, 0, 0, 0, '"'}));
  EXPECT_EQ(bytes.back(), '\0');
}

TEST_F(RegistryTest, KeysAndValuesIgnoreCase) {
  HKEY created = Create(HKEY_CURRENT_USER, kBrixonKey);
  ASSERT_EQ(SetString(created, "LogFileCleanupDate", "2024-05-01"), 0);
  ASSERT_EQ(SetString(created, "LOGFILECLEANUPDATE", "2024-06-01"), 0);  // same value
  RegCloseKey(created);

  DWORD disposition = 0;
  HKEY again = Create(HKEY_CURRENT_USER, "SOFTWARE\\meridel\\QUORVEX2\\brixon", &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(again);

  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "\\software\\Meridel\\\\Quorvex2\\Brixon\\", 0,
                         KEY_READ, &opened),
            0);
  EXPECT_EQ(QueryString(opened, "logfilecleanupdate"), "2024-06-01");
  RegCloseKey(opened);
}

TEST_F(RegistryTest, QuerySizeProtocol) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, kBrixonKey);
  ASSERT_EQ(SetString(key, "v", "12345"), 0);  // 6 bytes with the zero
  struct Case {
    bool withBuffer;
    DWORD size;
    LONG result;
    DWORD sizeAfter;
    bool written;
  };
  const Case cases[] = {
      {false, 0, 0, 6, false},
      {true, 0, static_cast<LONG>(ERROR_MORE_DATA), 6, false},
      {true, 5, static_cast<LONG>(ERROR_MORE_DATA), 6, false},
      {true, 6, 0, 6, true},
      {true, 100, 0, 6, true},
  };
  for (const Case& c : cases) {
    char buffer[100];
    std::memset(buffer, 'Z', sizeof buffer);
    DWORD size = c.size;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueEx(key, "v", nullptr, &type,
                              c.withBuffer ? reinterpret_cast<BYTE*>(buffer) : nullptr, &size),
              c.result)
        << c.size;
    EXPECT_EQ(size, c.sizeAfter) << c.size;
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(buffer, 6), c.written ? std::string("12345\0", 6) : "ZZZZZZ") << c.size;
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, MissingKeysAndValues) {
  HKEY key = reinterpret_cast<HKEY>(&key);  // must be cleared on failure
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kBrixonKey, 0, KEY_READ, &key),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(key, nullptr);

  key = Create(HKEY_LOCAL_MACHINE, kBrixonKey);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueEx(key, "WSSLogFilePath", nullptr, nullptr, nullptr, &size),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegDeleteValue(key, "WSSLogFilePath"), static_cast<LONG>(ERROR_FILE_NOT_FOUND));

  ASSERT_EQ(SetString(key, "WSSLogFilePath", "x"), 0);
  EXPECT_EQ(RegDeleteValue(key, "wssLogFilePath"), 0);
  EXPECT_EQ(QueryString(key, "WSSLogFilePath"), "<missing>");
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteTree) {
  HKEY deep = Create(HKEY_CURRENT_USER, "Software\\MERIDEL\\Quorvex2\\BRIXON\\Sub\\Deeper");
  ASSERT_EQ(SetString(deep, "a", "1"), 0);
  RegCloseKey(deep);
  HKEY parent = Create(HKEY_CURRENT_USER, "Software\\MERIDEL");
  ASSERT_EQ(SetString(parent, "kept", "yes"), 0);

  EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "software\\meridel\\quorvex2"), 0);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\MERIDEL\\Quorvex2", 0, KEY_READ, &gone),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(QueryString(parent, "kept"), "yes");
  EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "Software\\MERIDEL\\Quorvex2"),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));

  // Without a subkey the key is emptied but stays.
  EXPECT_EQ(RegDeleteTree(parent, nullptr), 0);
  EXPECT_EQ(QueryString(parent, "kept"), "<missing>");
  EXPECT_EQ(SetString(parent, "again", "ok"), 0);
  RegCloseKey(parent);
}

TEST_F(RegistryTest, NamesCannotLeaveTheRegistry) {
  HKEY key = Create(HKEY_CURRENT_USER, "..\\..\\escape");
  ASSERT_EQ(SetString(key, "../../x", "v"), 0);
  EXPECT_EQ(QueryString(key, "../../X"), "v");
  RegCloseKey(key);
  EXPECT_TRUE(std::filesystem::is_directory(m_temp.Path() + "/HKEY_CURRENT_USER/%2E./%2E./escape"));
  EXPECT_FALSE(std::filesystem::exists(m_temp.Path() + "/escape"));
  EXPECT_TRUE(std::filesystem::exists(m_temp.Path() +
                                      "/HKEY_CURRENT_USER/%2E./%2E./escape/%2E.%2F..%2Fx.value"));
}

TEST_F(RegistryTest, BinaryDataAndShorterRewrite) {
  HKEY key = Create(HKEY_CURRENT_USER, "k");
  const BYTE binary[] = {0, 1, 0, 0xFF};
  ASSERT_EQ(RegSetValueEx(key, "", 0, 3, binary, sizeof binary), 0);
  ASSERT_EQ(SetString(key, "s", "a much longer first value"), 0);
  ASSERT_EQ(SetString(key, "s", "short"), 0);

  BYTE data[8] = {};
  DWORD size = sizeof data;
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueEx(key, nullptr, nullptr, &type, data, &size), 0);
  EXPECT_EQ(type, 3u);
  EXPECT_EQ(std::vector<BYTE>(data, data + size), std::vector<BYTE>(binary, binary + 4));
  EXPECT_EQ(QueryString(key, "s"), "short");
  RegCloseKey(key);
}

TEST_F(RegistryTest, AccessRightsOfTheHandle) {
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, kBrixonKey));
  HKEY readOnly = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kBrixonKey, 0, KEY_READ, &readOnly), 0);
  EXPECT_EQ(SetString(readOnly, "v", "x"), static_cast<LONG>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(RegDeleteValue(readOnly, "v"), static_cast<LONG>(ERROR_ACCESS_DENIED));
  RegCloseKey(readOnly);
  EXPECT_EQ(RegCloseKey(nullptr), static_cast<LONG>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), 0);  // predefined: nothing to free
}

TEST_F(RegistryTest, FileSystemPermissionsAreAccessDenied) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root bypasses file permissions";
  }
  HKEY key = Create(HKEY_LOCAL_MACHINE, "locked");
  RegCloseKey(key);
  const std::string dir = m_temp.Path() + "/HKEY_LOCAL_MACHINE/locked";
  ASSERT_EQ(::chmod(dir.c_str(), 0500), 0);
  HKEY writable = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "locked", 0, KEY_WRITE, &writable),
            static_cast<LONG>(ERROR_ACCESS_DENIED));
  ::chmod(dir.c_str(), 0700);
}

TEST_F(RegistryTest, RootsFollowTheEnvironmentOnEveryCall) {
  EXPECT_EQ(RegistryRootDirectory(HKEY_LOCAL_MACHINE), m_temp.Path() + "/HKEY_LOCAL_MACHINE");
  EXPECT_EQ(RegistryRootDirectory(HKEY_CURRENT_USER), m_temp.Path() + "/HKEY_CURRENT_USER");
  HKEY first = Create(HKEY_LOCAL_MACHINE, kBrixonKey);
  ASSERT_EQ(SetString(first, "v", "first"), 0);
  RegCloseKey(first);

  PrivateDir other;
  {
    ScopedEnv redirect("QVX_REGISTRY_ROOT", other.Path().c_str());
    HKEY second = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kBrixonKey, 0, KEY_READ, &second),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  }
  {
    // Only the directory names are computed: nothing under /etc or the
    // home directory is touched.
    ScopedEnv unset("QVX_REGISTRY_ROOT", nullptr);
    ScopedEnv config("XDG_CONFIG_HOME", "/nonexistent/config");
    EXPECT_EQ(RegistryRootDirectory(HKEY_LOCAL_MACHINE), "/etc/quorvex2/registry");
    EXPECT_EQ(RegistryRootDirectory(HKEY_CURRENT_USER), "/nonexistent/config/quorvex2/registry");
    ScopedEnv home("HOME", "/nonexistent/home");
    ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(RegistryRootDirectory(HKEY_CURRENT_USER),
              "/nonexistent/home/.config/quorvex2/registry");
  }
  HKEY back = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kBrixonKey, 0, KEY_READ, &back), 0);
  EXPECT_EQ(QueryString(back, "v"), "first");
  RegCloseKey(back);
}

}  // namespace
}  // namespace platform
