// Files through handles: what the logs rely on (appending, restarting, one
// piece per write) and the failures they must survive.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "PrivateDir.h"
#include "platform/File.h"
#include "platform/Sync.h"

namespace platform {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Closes the handle, then reads the file back.
std::string CloseAndRead(HANDLE file, const std::string& path) {
  EXPECT_TRUE(CloseHandle(file));
  return Contents(path);
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

TEST(FileHandleTest, AppendingHandlesAddAtTheEndAndCreateAlwaysStartsAfresh) {
  qvx::testing::PrivateDir dir;
  const std::string path = dir.Path() + "/log.txt";
  HANDLE first = OpenForAppend(path, OPEN_ALWAYS);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  HANDLE second = OpenForAppend(path, OPEN_ALWAYS);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Write(first, "one\n"));
  EXPECT_TRUE(Write(second, "two\n"));
  EXPECT_TRUE(Write(first, "three\n"));
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_EQ(CloseAndRead(second, path), "one\ntwo\nthree\n");

  HANDLE again = OpenForAppend(path, CREATE_ALWAYS);
  ASSERT_NE(again, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Write(again, "fresh\n"));
  EXPECT_EQ(CloseAndRead(again, path), "fresh\n");
}

TEST(FileHandleTest, FailuresAnswerWithTheirWin32Numbers) {
  qvx::testing::PrivateDir dir;
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

TEST(FileHandleTest, WritingThroughAClosedOrForeignHandleFails) {
  qvx::testing::PrivateDir dir;
  HANDLE file = OpenForAppend(dir.Path() + "/log.txt", OPEN_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(file));
  EXPECT_FALSE(Write(file, "late\n"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  HANDLE event = CreateEvent(nullptr, true, false, nullptr);
  EXPECT_FALSE(Write(event, "not a file\n"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
}

TEST(FileHandleTest, AnOwnFileIsPrivateReadableAndCutInPlace) {
  qvx::testing::PrivateDir dir;
  const std::string path = dir.Path() + "/own.log";
  HANDLE file = CreateOwnFile(path.c_str());
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  EXPECT_TRUE(Write(file, "first\n"));
  EXPECT_TRUE(SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN));
  char buffer[16] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "first\n");
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u) << "the end of the file";

  // Cut at the start; the next write still goes to the (new) end.
  EXPECT_TRUE(SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  LARGE_INTEGER size{};
  size.QuadPart = -1;
  EXPECT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(size.QuadPart, 0);
  EXPECT_TRUE(Write(file, "second\n"));
  EXPECT_EQ(CloseAndRead(file, path), "second\n");
}

TEST(FileHandleTest, AnOwnFileIsNeverOpenedThroughALink) {
  qvx::testing::PrivateDir dir;
  const std::string target = dir.Path() + "/target";
  const std::string link = dir.Path() + "/own.log";
  CloseHandle(OpenForAppend(target, CREATE_NEW));
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  EXPECT_EQ(CreateOwnFile(link.c_str()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFile(link.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateOwnFile(dir.Path().c_str()), INVALID_HANDLE_VALUE) << "a directory";
}

}  // namespace
}  // namespace platform
