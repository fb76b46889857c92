// The file stamp the TLS endpoint keys its certificate cache on: it must
// change with every kind of new version and stay put while nothing happens.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "PrivateDir.h"
#include "platform/File.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  EXPECT_TRUE(GetFileStamp(path.c_str(), &stamp)) << path << ": " << GetLastError();
  return stamp;
}

TEST(FileStampTest, StaysWhileUntouchedAndChangesWithEveryNewVersion) {
  const qvx::testing::PrivateDir dir("qvx-stamp");
  const std::string path = dir / "server.pem";
  Write(path, "first version");
  const FileStamp first = StampOf(path);
  EXPECT_EQ(first.size, 13);
  EXPECT_EQ(StampOf(path), first);  // reading again is not a new version

  // Rewritten in place with other bytes of the same length, the time held.
  const auto time = fs::last_write_time(path);
  Write(path, "other version");
  fs::last_write_time(path, time);
  EXPECT_NE(StampOf(path), first) << "a rewrite shows in the change time";

  // Touched only.
  const FileStamp beforeTouch = StampOf(path);
  fs::last_write_time(path, time + std::chrono::seconds(5));
  const FileStamp touched = StampOf(path);
  EXPECT_NE(touched, beforeTouch);
  EXPECT_NE(touched.modified, beforeTouch.modified);

  // Replaced by another file of the same size and time.
  const std::string replacement = dir / "replacement.pem";
  Write(replacement, "other version");
  fs::last_write_time(replacement, time + std::chrono::seconds(5));
  fs::rename(replacement, path);
  const FileStamp replaced = StampOf(path);
  EXPECT_NE(replaced, touched);
  EXPECT_NE(replaced.index, touched.index) << "another file, another index";
}

TEST(FileStampTest, MissingFileOrArgumentsFail) {
  const qvx::testing::PrivateDir dir("qvx-stamp");
  FileStamp stamp;
  stamp.size = 42;
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(GetFileStamp((dir / "missing.pem").c_str(), &stamp));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(stamp.size, 42) << "left alone on failure";

  EXPECT_FALSE(GetFileStamp(nullptr, &stamp));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  Write(dir / "present", "x");
  EXPECT_FALSE(GetFileStamp((dir / "present").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace platform
