#include "platform/System.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "PlatformTestSupport.h"

namespace platform {
namespace {

using qvx::testing::PrivateDir;
using qvx::testing::ScopedEnv;

struct Expansion {
  const char* source;
  const char* expected;
};

class ExpandTest : public ::testing::Test {
 protected:
  ScopedEnv m_a{"QVX_T_A", "alpha"};
  ScopedEnv m_b{"QVX_T_B", "beta"};
  ScopedEnv m_empty{"QVX_T_EMPTY", ""};
  ScopedEnv m_unset{"QVX_T_UNSET", nullptr};
};

TEST_F(ExpandTest, FollowsWindowsRules) {
  const Expansion cases[] = {
      {"", ""},
      {"plain text", "plain text"},
      {"%QVX_T_A%", "alpha"},
      {"x%QVX_T_A%y", "xalphay"},
      {"%QVX_T_A%%QVX_T_B%", "alphabeta"},
      {"%QVX_T_EMPTY%|", "|"},
      {"%QVX_T_UNSET%", "%QVX_T_UNSET%"},
      {"%QVX_T_UNSET%\\dir", "%QVX_T_UNSET%\\dir"},
      // The closing '%' of an unknown reference may open the next one.
      {"%QVX_T_UNSET%QVX_T_A%", "%QVX_T_UNSETalpha"},
      {"%qvx_t_a%", "%qvx_t_a%"},  // Linux names keep their case
      {"100%", "100%"},
      {"%", "%"},
      {"%%", "%%"},
      {"%%QVX_T_A%", "%alpha"},
      {"%QVX_T_A", "%QVX_T_A"},
      {"%=%", "%=%"},
  };
  for (const Expansion& c : cases) {
    EXPECT_EQ(ExpandEnvironment(c.source), c.expected) << c.source;
    char buffer[128] = {};
    const DWORD needed = ExpandEnvironmentStrings(c.source, buffer, sizeof buffer);
    EXPECT_EQ(needed, std::string(c.expected).size() + 1) << c.source;
    EXPECT_STREQ(buffer, c.expected) << c.source;
  }
}

TEST_F(ExpandTest, StandInsWhenUnset) {
  ScopedEnv home("HOME", "/home/tester");
  ScopedEnv vars[] = {{"ALLUSERSPROFILE", nullptr},
                      {"PROGRAMDATA", ""},
                      {"USERPROFILE", nullptr},
                      {"APPDATA", nullptr},
                      {"LOCALAPPDATA", nullptr},
                      {"TEMP", nullptr},
                      {"TMP", nullptr},
                      {"XDG_CONFIG_HOME", nullptr},
                      {"XDG_DATA_HOME", "relative/ignored"},
                      {"TMPDIR", nullptr},
                      {"XDG_RUNTIME_DIR", nullptr},
                      {"XDG_CACHE_HOME", nullptr}};
  const Expansion defaults[] = {
      {"%ALLUSERSPROFILE%\\BRIXWSSVR", "/var/lib\\BRIXWSSVR"},
      {"%AllUsersProfile%", "/var/lib"},
      {"%PROGRAMDATA%", "/var/lib"},
      {"%USERPROFILE%", "/home/tester"},
      {"%APPDATA%", "/home/tester/.config"},
      {"%LOCALAPPDATA%", "/home/tester/.local/share"},
      {"%TEMP%", "/tmp"},
      {"%tmp%", "/tmp"},
  };
  for (const Expansion& c : defaults) {
    EXPECT_EQ(ExpandEnvironment(c.source), c.expected) << c.source;
  }

  ScopedEnv config("XDG_CONFIG_HOME", "/x/config");
  ScopedEnv data("XDG_DATA_HOME", "/x/data");
  ScopedEnv tmpdir("TMPDIR", "/x/tmp");
  ScopedEnv all("ALLUSERSPROFILE", "/srv/all");
  const Expansion redirected[] = {
      {"%APPDATA%", "/x/config"},        {"%LOCALAPPDATA%", "/x/data"},     {"%TMP%", "/x/tmp"},
      {"%ALLUSERSPROFILE%", "/srv/all"}, {"%allusersprofile%", "/srv/all"},
  };
  for (const Expansion& c : redirected) {
    EXPECT_EQ(ExpandEnvironment(c.source), c.expected) << c.source;
  }
}

// Without TMPDIR the temporary directory is still the user's own: the
// runtime directory, else a private one in the user's cache, never the
// shared /tmp while there is a home.
TEST_F(ExpandTest, TempIsTheUsersOwnWithoutTmpdir) {
  qvx::testing::PrivateDir home;
  ScopedEnv homeVar("HOME", home.Path().c_str());
  ScopedEnv vars[] = {
      {"TEMP", nullptr}, {"TMP", nullptr}, {"TMPDIR", nullptr}, {"XDG_CACHE_HOME", nullptr}};
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/4242");
    EXPECT_EQ(ExpandEnvironment("%TEMP%"), "/run/user/4242");
  }
  ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  const std::string own = home.Path() + "/.cache/quorvex2/temp";
  EXPECT_EQ(ExpandEnvironment("%TEMP%"), own);
  struct stat st {};
  ASSERT_EQ(::stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(ExpandEnvironment("%TMP%"), own) << "made once, found again";

  // Opened to others meanwhile: closed again.
  ASSERT_EQ(::chmod(own.c_str(), 0755), 0);
  EXPECT_EQ(ExpandEnvironment("%TEMP%"), own);
  ASSERT_EQ(::stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A planted link in its place is not followed; the shared directory is
  // left, where the log refuses links and other accounts' files itself.
  std::filesystem::remove_all(home.Path() + "/.cache/quorvex2");
  std::filesystem::create_directories(home.Path() + "/elsewhere");
  std::filesystem::create_directory_symlink(home.Path() + "/elsewhere",
                                            home.Path() + "/.cache/quorvex2");
  EXPECT_EQ(ExpandEnvironment("%TEMP%"), "/tmp");
}

TEST_F(ExpandTest, WritesOnlyWhenTheResultFits) {
  const char* source = "%QVX_T_A%!";  // "alpha!": 7 with the terminating zero
  EXPECT_EQ(ExpandEnvironmentStrings(source, nullptr, 0), 7u);

  char small[6];
  std::fill(std::begin(small), std::end(small), 'Z');
  EXPECT_EQ(ExpandEnvironmentStrings(source, small, sizeof small), 7u);
  EXPECT_EQ(std::string(small, sizeof small), "ZZZZZZ");

  char exact[7];
  EXPECT_EQ(ExpandEnvironmentStrings(source, exact, sizeof exact), 7u);
  EXPECT_STREQ(exact, "alpha!");

  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(ExpandEnvironmentStrings(nullptr, exact, sizeof exact), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(EnvironmentVariableTest, SetReadAndRemoveWithWindowsSizes) {
  ScopedEnv env;
  env.Set("QVX_ENV_PROBE", nullptr);
  char buffer[8] = "unset";
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetEnvironmentVariable("QVX_ENV_PROBE", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);

  ASSERT_TRUE(SetEnvironmentVariable("QVX_ENV_PROBE", "seven!!"));
  // Too small by the zero: the size needed, with it, and nothing written.
  char small[7] = "xxxxxx";
  EXPECT_EQ(GetEnvironmentVariable("QVX_ENV_PROBE", small, sizeof small), 8u);
  EXPECT_STREQ(small, "xxxxxx");
  EXPECT_EQ(GetEnvironmentVariable("QVX_ENV_PROBE", nullptr, 0), 8u);
  // Fits: the length written, without the zero.
  EXPECT_EQ(GetEnvironmentVariable("QVX_ENV_PROBE", buffer, sizeof buffer), 7u);
  EXPECT_STREQ(buffer, "seven!!");
  // The same environment as the expansion's.
  EXPECT_EQ(ExpandEnvironment("<%QVX_ENV_PROBE%>"), "<seven!!>");

  ASSERT_TRUE(SetEnvironmentVariable("QVX_ENV_PROBE", nullptr));
  EXPECT_EQ(GetEnvironmentVariable("QVX_ENV_PROBE", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);

  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(SetEnvironmentVariable("A=B", "x"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetEnvironmentVariable("", "x"));
  EXPECT_EQ(GetEnvironmentVariable("", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

struct Captured {
  static std::vector<std::string> lines;
  static void Sink(const std::string& text, const std::string& caption) {
    lines.push_back(caption + ": " + text);
  }
  static void OtherSink(const std::string&, const std::string&) {}
};
std::vector<std::string> Captured::lines;

TEST(MessageBoxTest, GoesToTheInstalledSink) {
  Captured::lines.clear();
  const MessageBoxSink previous = SetMessageBoxSink(&Captured::Sink);
  EXPECT_EQ(MessageBox(nullptr, "Missing file name!", nullptr, MB_OK), IDOK);
  EXPECT_EQ(MessageBox(nullptr, "Device gone", "Quorvex2", MB_OK | MB_ICONWARNING), IDOK);
  EXPECT_EQ(SetMessageBoxSink(&Captured::OtherSink), &Captured::Sink);
  EXPECT_EQ(SetMessageBoxSink(previous), &Captured::OtherSink);
  EXPECT_EQ(Captured::lines,
            (std::vector<std::string>{"Error: Missing file name!", "Quorvex2: Device gone"}));
}

TEST(ThreadTest, ThreadIdsAndLastErrorArePerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  const DWORD mine = GetCurrentThreadId();
  EXPECT_EQ(mine, static_cast<DWORD>(::getpid()));  // the main thread
  DWORD other = 0;
  DWORD otherError = 1;
  std::thread([&] {
    other = GetCurrentThreadId();
    otherError = GetLastError();
    SetLastError(ERROR_GEN_FAILURE);
  }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, mine);
  EXPECT_EQ(otherError, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(TimeTest, LocalTimeMatchesTheClock) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  std::tm fields{};
  fields.tm_year = now.wYear - 1900;
  fields.tm_mon = now.wMonth - 1;
  fields.tm_mday = now.wDay;
  fields.tm_hour = now.wHour;
  fields.tm_min = now.wMinute;
  fields.tm_sec = now.wSecond;
  fields.tm_isdst = -1;
  EXPECT_LE(std::abs(std::difftime(std::mktime(&fields), std::time(nullptr))), 2.0);
  EXPECT_EQ(fields.tm_wday, now.wDayOfWeek);
  EXPECT_GE(now.wMilliseconds, 0);
  EXPECT_LE(now.wMilliseconds, 999);
}

TEST(TimeTest, SleepWaitsAtLeastTheTimeGiven) {
  const auto start = std::chrono::steady_clock::now();
  Sleep(50);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(FileTest, CreateDirectoryAndFileSize) {
  PrivateDir temp;
  const std::string dir = temp.Path() + "/logs";
  EXPECT_TRUE(MakeDirectory(dir));
  EXPECT_TRUE(MakeDirectory(dir));  // already there

  const std::string file = dir + "/Brixwssvr_Log.txt";
  EXPECT_EQ(FileSizeAt(file), -1);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  std::ofstream(file) << "0123456789";
  EXPECT_EQ(FileSizeAt(file), 10);
  EXPECT_EQ(FileSizeAt(dir), -1);

  EXPECT_FALSE(MakeDirectory(file));  // a file in the way
  EXPECT_FALSE(MakeDirectory(temp.Path() + "/missing/child"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

}  // namespace
}  // namespace platform
