#include "command/Log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "PrivateDir.h"
#include "ReportLineStamp.h"
#include "ScopedEnv.h"
#include "platform/Registry.h"
#include "platform/System.h"

namespace qvx {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::pair<std::string, std::string>> g_messageBoxes;
void CaptureMessageBox(const std::string& text, const std::string& caption) {
  g_messageBoxes.emplace_back(text, caption);
}

using qvx::testing::PrivateDir;
using qvx::testing::ScopedEnv;

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_env.Set("QVX_REGISTRY_ROOT", m_private.Make("registry"));
    m_env.Set("ALLUSERSPROFILE", m_private.Make("profile"));
  }

  void SetLogPathValue(const std::string& value) {
    platform::HKEY key = nullptr;
    platform::DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, kRegistryKeyPath, 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(key, "WSSLogFilePath", 0, REG_SZ,
                            reinterpret_cast<const platform::BYTE*>(value.c_str()),
                            static_cast<platform::DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  PrivateDir m_private{"qvx-logtest"};
  const std::string m_dir = m_private.Path();
  ScopedEnv m_env;  // restored before the directory goes
};

TEST_F(LogTest, LineLayout) {
  const std::string in4 = "    ";
  const std::string a130(130, 'a'), b130(130, 'b'), c40(40, 'c');
  std::string long2000;
  for (int i = 0; i < 2000; ++i) long2000 += static_cast<char>('A' + i % 26);
  std::string cut1024;
  for (std::size_t at = 0; at < 1024; at += 130) {
    cut1024 += long2000.substr(at, std::min<std::size_t>(130, 1024 - at));
    if (at + 130 <= 1024) cut1024 += " \\\n";
  }

  const struct {
    const char* name;
    int depth;
    std::string line;
    std::string expected;
  } cases[] = {
      {"plain", 0, "abc", "abc\n"},
      {"indented", 1, "abc", in4 + "abc\n"},
      {"embedded line feed", 1, "a\nb", in4 + "a\n" + in4 + "b\n"},
      {"final line feed", 1, "a\n", in4 + "a\n\n"},
      {"300 characters", 1, a130 + b130 + c40,
       in4 + a130 + " \\\n" + in4 + b130 + " \\\n" + in4 + c40 + "\n"},
      {"exactly 130", 2, a130, in4 + in4 + a130 + " \\\n" + in4 + in4 + "\n"},
      {"cut to 1024", 0, long2000, cut1024 + "\n"},
  };
  for (const auto& c : cases) {
    const std::string file = m_dir + "/layout.txt";
    fs::remove(file);
    CLog log;
    log.SetFileName(file);
    for (int i = 0; i < c.depth; ++i) log.Indent();
    log.Append(c.line);
    EXPECT_EQ(ReadFile(file), c.expected) << c.name;
  }
}

TEST_F(LogTest, RestartsOnlyAboveTenMebibytes) {
  const struct {
    long long size;
    long long expected;
  } cases[] = {
      {10485761, 4},             // "a\n" "b\n"
      {10485760, 10485760 + 4},  // appended
      {0, 4},
  };
  for (const auto& c : cases) {
    const std::string file = m_dir + "/big.txt";
    { std::ofstream create(file, std::ios::trunc); }
    ASSERT_EQ(::truncate(file.c_str(), c.size), 0);
    CLog log;
    log.SetFileName(file);
    log.Append("a");
    log.Append("b");  // decided once: the second line never truncates
    EXPECT_EQ(fs::file_size(file), static_cast<std::uintmax_t>(c.expected)) << c.size;
    const std::string text = ReadFile(file);
    EXPECT_EQ(text.substr(text.size() - 4), "a\nb\n");
  }
}

TEST_F(LogTest, DirectoryIsCreatedOneLevel) {
  CLog log;
  log.SetFileName(m_dir + "/logs/x.txt");
  log.Append("first");
  EXPECT_EQ(ReadFile(m_dir + "/logs/x.txt"), "first\n");

  // Two missing levels: the line is lost silently.
  g_messageBoxes.clear();
  const auto previous = platform::SetMessageBoxSink(CaptureMessageBox);
  CLog deep;
  deep.SetFileName(m_dir + "/a/b/x.txt");
  deep.Append("lost");
  platform::SetMessageBoxSink(previous);
  EXPECT_FALSE(fs::exists(m_dir + "/a/b/x.txt"));
  EXPECT_TRUE(g_messageBoxes.empty());
}

TEST_F(LogTest, RegistryValuePlacesTheLog) {
  const ScopedEnv logDir("QVX_LOGTEST_DIR", m_dir + "/env");
  const std::string tooLong(300, 'x');
  const ScopedEnv longVar("QVX_LOGTEST_LONG", "/" + tooLong);
  const std::string fallback = m_dir + "/profile/BRIXWSSVR/Brixwssvr_Log.txt";
  const struct {
    const char* value;  // nullptr: no value
    std::string raw;
    std::string expectedPath;
  } cases[] = {
      {nullptr, "", fallback},
      {"", "", fallback},
      {"quoted", "\"" + m_dir + "/my logs/\"", m_dir + "/my logs/Brixwssvr_Log.txt"},
      {"no separator", m_dir + "/plain", m_dir + "/plain/Brixwssvr_Log.txt"},
      {"environment", "%QVX_LOGTEST_DIR%/sub", m_dir + "/env/sub/Brixwssvr_Log.txt"},
      {"value too long", "/" + tooLong, fallback},
      {"expansion too long", "%QVX_LOGTEST_LONG%", fallback},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "missing");
    if (c.value != nullptr) SetLogPathValue(c.raw);
    EXPECT_EQ(WSSLogFilePath(), c.expectedPath);
    CLog log;
    EXPECT_EQ(log.GetFileName(), c.expectedPath);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kRegistryKeyPath);
  }

  SetLogPathValue("\"" + m_dir + "/q\"");
  EXPECT_EQ(CRegistry().GetWSSLogFilePath(), m_dir + "/q");
  RegDeleteTree(HKEY_LOCAL_MACHINE, kRegistryKeyPath);
}

TEST_F(LogTest, DefaultDirectoryIsCreatedOnFirstLine) {
  CLog log;
  log.Append("hello");
  EXPECT_EQ(ReadFile(m_dir + "/profile/BRIXWSSVR/Brixwssvr_Log.txt"), "hello\n");
}

TEST_F(LogTest, MissingFileNameShowsAMessageBox) {
  // A profile path too long to expand even for the default leaves no name.
  const ScopedEnv profile("ALLUSERSPROFILE", m_dir + "/" + std::string(300, 'p'));
  g_messageBoxes.clear();
  const auto previous = platform::SetMessageBoxSink(CaptureMessageBox);
  CLog log;
  log.Append("nowhere");
  platform::SetMessageBoxSink(previous);
  ASSERT_EQ(g_messageBoxes.size(), 1u);
  EXPECT_EQ(g_messageBoxes[0].first, "Missing file name!");
  EXPECT_EQ(g_messageBoxes[0].second, "");
  EXPECT_FALSE(fs::exists(m_dir + "/profile/BRIXWSSVR"));
}

TEST_F(LogTest, TraceGuardIndentsTheLinesBetween) {
  const std::string file = m_dir + "/trace.txt";
  CLog log;
  log.SetFileName(file);
  {
    const CTraceGuard outer(log, "CQuorvex2::CheckCard()");
    log.Append(CReport(1, LEVEL_ERROR, "", "inner %d", 1));
    { const CTraceGuard inner(log, "CReader::Open()"); }
    log.Append(CReport(0, LEVEL_INFO, "", "inner %d", 2));
  }
  log.Append(CReport(0, LEVEL_INFO, "", "after"));

  // Indent, stamp, then the rest of the line.
  const struct {
    std::size_t indent;
    const char* rest;
  } expected[] = {
      {0, " [INF]CQuorvex2::CheckCard() ==>  "},
      {4, " [ERR] inner 1"},
      {4, " [INF]CReader::Open() ==>  "},
      {4, " [INF]CReader::Open() <==  "},
      {4, " [INF] inner 2"},
      {0, " [INF]CQuorvex2::CheckCard() <==  "},
      {0, " [INF] after"},
  };
  const std::vector<std::string> lines = SplitLines(ReadFile(file));
  ASSERT_EQ(lines.size(), std::size(expected));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::size_t indent = expected[i].indent;
    ASSERT_GT(line.size(), indent + kReportStampLength) << line;
    EXPECT_EQ(line.substr(0, indent), std::string(indent, ' ')) << line;
    EXPECT_TRUE(IsReportStamp(line.substr(indent, kReportStampLength))) << line;
    EXPECT_EQ(line.substr(indent + kReportStampLength), expected[i].rest);
  }
}

}  // namespace
}  // namespace qvx
