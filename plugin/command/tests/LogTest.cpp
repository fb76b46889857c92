// The plug-in's log: where it goes, its header, the weekly clean-up and a
// file that cannot be written.
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "PluginTestSupport.h"
#include "brixon/Log.h"
#include "platform/System.h"
#include "platform/Registry.h"

namespace qvx::testing {
namespace {

using qvx::brixon::CLog;

std::string Stamp(std::time_t when) {
  const std::tm local = platform::LocalTime(when);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text) + ".000 0x0001::0x0001 [INF] ";
}

void SetValue(platform::HKEY root, const char* name, const std::string& value) {
  platform::HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(root, qvx::brixon::kRegistryKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &key, nullptr),
            0);
  ASSERT_EQ(
      RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const platform::BYTE*>(value.c_str()),
                    static_cast<platform::DWORD>(value.size() + 1)),
      0);
  RegCloseKey(key);
}

std::filesystem::path Fresh(const std::string& name) {
  const std::filesystem::path path = PluginEnvironment::Dir() / name;
  std::filesystem::remove(path);
  return path;
}

struct PathCase {
  std::string name;
  std::optional<std::string> setting;  // LogFilePath; none: not set
  std::string expected;                // relative to the test directory unless absolute
};

class PluginLogFileName : public ::testing::TestWithParam<PathCase> {};

TEST_P(PluginLogFileName, FollowsLogFilePathElseTempDirectory) {
  setenv("QVXTEST_LOGDIR", (PluginEnvironment::Dir() / "logs").c_str(), 1);
  if (GetParam().setting) SetValue(HKEY_LOCAL_MACHINE, "LogFilePath", *GetParam().setting);
  const std::string name = qvx::brixon::GetLogFileName();
  RegDeleteTree(HKEY_LOCAL_MACHINE, qvx::brixon::kRegistryKeyPath);
  const std::filesystem::path expected(GetParam().expected);
  EXPECT_EQ(name, expected.is_absolute() ? expected : PluginEnvironment::Dir() / expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, PluginLogFileName,
    ::testing::Values(PathCase{"NoSetting", std::nullopt, "temp/BRIXON_Log.txt"},
                      PathCase{"EmptySetting", "", "temp/BRIXON_Log.txt"},
                      PathCase{"Expanded", "%QVXTEST_LOGDIR%/", "logs/BRIXON_Log.txt"},
                      // The system drive is the root here.
                      PathCase{"HomeDrive", "%HOMEDRIVE%/var/brixon",
                               "/var/brixon/BRIXON_Log.txt"}),
    CaseName<PathCase>);

struct CleanupCase {
  std::string name;
  std::string text;
  std::string kept;
};

const std::time_t kNow = std::time(nullptr);
const std::string kOld = Stamp(kNow - 8 * 24 * 3600);
const std::string kRecent = Stamp(kNow - 6 * 24 * 3600);

class PluginLogCleanup : public ::testing::TestWithParam<CleanupCase> {};

TEST_P(PluginLogCleanup, KeepsTheLastWeek) {
  EXPECT_EQ(qvx::brixon::CleanupLogText(GetParam().text, kNow), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PluginLogCleanup,
    ::testing::Values(
        CleanupCase{"OldEntryGoesWithItsFollowingLines", kOld + "old\n\n" + kRecent + "new\n\n",
                    kRecent + "new\n\n"},
        CleanupCase{"OldHeaderIsDropped", qvx::brixon::LogHeaderLine() + "\n" + kRecent + "a\n",
                    kRecent + "a\n"},
        CleanupCase{"UnstampedStartIsDropped", "stray\n" + kRecent + "a", kRecent + "a\n"},
        CleanupCase{"AllOld", kOld + "a\n" + kOld + "b\n", ""}),
    CaseName<CleanupCase>);

TEST(PluginLog, FileGetsHeaderAndDailyCleanupOnce) {
  const std::filesystem::path path = Fresh("daily.txt");
  {
    std::ofstream file(path);
    file << kOld << "old entry\n" << kRecent << "recent entry\n";
  }
  SetValue(HKEY_CURRENT_USER, "LogFileCleanupDate", "2000-01-01");
  { CLog log(path.string()); }
  { CLog log(path.string()); }  // same day: no second clean-up, no second header

  const std::string expected =
      "Logfile for the Meridel Quorvex2 BR-Connector (BRIXON) version 01.06.\n" + kRecent +
      "recent entry\n";
  const std::string text = ReadText(path);
  ASSERT_EQ(text.compare(0, expected.size(), expected), 0) << text;
  const std::string rest = text.substr(expected.size());
  const std::string cleanup =
      "[INF] CLog::CLog(): Logfile cleanup - removed lines older than one week.\n\n";
  EXPECT_EQ(rest.find('\n'), rest.size() - 2) << "one cleanup line only:\n" << rest;
  EXPECT_EQ(rest.compare(rest.size() - cleanup.size(), cleanup.size(), cleanup), 0) << rest;

  EXPECT_EQ(qvx::brixon::CRegistry().GetLogFileCleanupDate(),
            qvx::brixon::CleanupDateText(std::time(nullptr)));
}

// Another account's plant where the log goes: a link to a file of this
// user's, which the clean-up would truncate, and (as root) a file another
// account owns, which would collect this user's lines.
TEST(PluginLog, RefusesALinkAndAFileOfAnotherAccount) {
  const std::filesystem::path victim = Fresh("victim.txt");
  { std::ofstream(victim) << "precious\n"; }
  const std::filesystem::path link = Fresh("linked-log.txt");
  std::filesystem::create_symlink(victim, link);
  SetValue(HKEY_CURRENT_USER, "LogFileCleanupDate", "2000-01-01");  // clean-up due
  {
    CLog log(link.string());
    EXPECT_THROW(log.Write("entry"), qvx::brixon::CError);
  }
  EXPECT_EQ(ReadText(victim), "precious\n");
  EXPECT_TRUE(std::filesystem::is_symlink(link));

  if (::geteuid() != 0) GTEST_SKIP() << "a file of another account needs root to make";
  const std::filesystem::path foreign = Fresh("foreign-log.txt");
  { std::ofstream(foreign) << "theirs\n"; }
  ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
  {
    CLog log(foreign.string());
    EXPECT_THROW(log.Write("PAN 5412751234567890"), qvx::brixon::CError);
  }
  EXPECT_EQ(ReadText(foreign), "theirs\n");
}

TEST(PluginLog, NewFileIsTheUsersAlone) {
  const std::filesystem::path path = Fresh("private.txt");
  const mode_t previous = ::umask(0);
  {
    CLog log(path.string());
    log.Write("entry");
  }
  ::umask(previous);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(PluginLog, UnwritableFileRaisesWithTheEntry) {
  CLog log((PluginEnvironment::Dir() / "missing" / "deeper" / "log.txt").string());
  try {
    log.Write("entry");
    FAIL() << "no error raised";
  } catch (const qvx::brixon::CError& error) {
    EXPECT_EQ(error.GetLabel(), "CLog::Write(string)");
    EXPECT_EQ(error.Message(), "m_ofs in fail condition. LogEntry: entry");
  }
  log.WriteLine(qvx::brixon::LEVEL_INFO, "lost quietly");
}

}  // namespace
}  // namespace qvx::testing
