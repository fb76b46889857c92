// Files through handles: what the logs rely on (appending, restarting, one
// piece per write) and the failures they must survive.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "PlatformTestSupport.h"
#include "platform/File.h"
#include "platform/Sync.h"

namespace platform {
namespace {

using platform_test::ScopedTempDir;

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

HANDLE OpenForAppend(const std::string& path, DWORD disposition) {
  return CreateFile(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Write(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

TEST(FileTest, AppendingHandlesAddAtTheEndAndCreateAlwaysStartsAfresh) {
  ScopedTempDir dir;
  const std::string path = dir.Path() + "/log.txt";
  HANDLE first = OpenForAppend(path, OPEN_ALWAYS);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  HANDLE second = OpenForAppend(path, OPEN_ALWAYS);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Write(first, "one\n"));
  EXPECT_TRUE(Write(second, "two\n"));
  EXPECT_TRUE(Write(first, "three\n"));
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_EQ(Contents(path), "one\ntwo\nthree\n");

  HANDLE again = OpenForAppend(path, CREATE_ALWAYS);
  ASSERT_NE(again, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Write(again, "fresh\n"));
  EXPECT_TRUE(CloseHandle(again));
  EXPECT_EQ(Contents(path), "fresh\n");
}

TEST(FileTest, FailuresAnswerWithTheirWin32Numbers) {
  ScopedTempDir dir;
  const std::string existing = dir.Path() + "/there";
  CloseHandle(OpenForAppend(existing, CREATE_NEW));

  struct Case {
    const char* name;
    std::string path;
    DWORD disposition;
    DWORD error;
  };
  const Case cases[] = {
      {"missing directory", dir.Path() + "/none/log.txt", OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
      {"missing file", dir.Path() + "/absent", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {"new over existing", existing, CREATE_NEW, ERROR_ALREADY_EXISTS},
      {"no name", "", OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(OpenForAppend(c.path, c.disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST(FileTest, WritingThroughAClosedOrForeignHandleFails) {
  ScopedTempDir dir;
  HANDLE file = OpenForAppend(dir.Path() + "/log.txt", OPEN_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(file));
  EXPECT_FALSE(Write(file, "late\n"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  HANDLE event = CreateEvent(true, false, nullptr);
  EXPECT_FALSE(Write(event, "not a file\n"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
}

}  // namespace
}  // namespace platform
