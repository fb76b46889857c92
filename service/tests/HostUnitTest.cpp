#include "host/SystemdUnit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qvx::host {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Index of a line in lines, or -1.
long Find(const std::vector<std::string>& lines, const std::string& line) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == line) return static_cast<long>(i);
  }
  return -1;
}

TEST(HostUnitTest, UnitKeysSitInTheirSections) {
  const auto lines = Lines(RenderSystemdUnit("/opt/qvx/brixwssvr"));
  const long unit = Find(lines, "[Unit]");
  const long service = Find(lines, "[Service]");
  const long install = Find(lines, "[Install]");
  ASSERT_EQ(unit, 0);
  ASSERT_GT(service, unit);
  ASSERT_GT(install, service);

  const struct {
    const char* line;
    long after;
    long before;
  } keys[] = {
      {"Description=Quorvex2 Connector Service", unit, service},
      {"Type=notify", service, install},
      {"ExecStart=\"/opt/qvx/brixwssvr\"", service, install},
      {"Restart=on-failure", service, install},
      {"DynamicUser=yes", service, install},
      {"StateDirectory=BRIXWSSVR", service, install},
      {"Environment=ALLUSERSPROFILE=/var/lib", service, install},
      {"WantedBy=multi-user.target", install, static_cast<long>(lines.size())},
  };
  for (const auto& k : keys) {
    const long at = Find(lines, k.line);
    EXPECT_GT(at, k.after) << k.line;
    EXPECT_LT(at, k.before) << k.line;
  }
}

TEST(HostUnitTest, ExecStartKeepsAnAwkwardPathWhole) {
  const auto lines = Lines(RenderSystemdUnit("/opt/my app/50%\"x\\brixwssvr"));
  EXPECT_GE(Find(lines, "ExecStart=\"/opt/my app/50%%\\\"x\\\\brixwssvr\""), 0);
}

TEST(HostUnitTest, UnitDirectoryFollowsTheEnvironment) {
  const char* saved = std::getenv("QVX_SYSTEMD_UNIT_DIR");
  const std::string keep = saved ? saved : "";
  ::setenv("QVX_SYSTEMD_UNIT_DIR", "/tmp/qvx-units", 1);
  EXPECT_EQ(UnitDirectory(), "/tmp/qvx-units");
  ::setenv("QVX_SYSTEMD_UNIT_DIR", "", 1);
  EXPECT_EQ(UnitDirectory(), "/etc/systemd/system");
  ::unsetenv("QVX_SYSTEMD_UNIT_DIR");
  EXPECT_EQ(UnitDirectory(), "/etc/systemd/system");
  if (saved) ::setenv("QVX_SYSTEMD_UNIT_DIR", keep.c_str(), 1);
}

TEST(HostUnitTest, CurrentProgramPathNamesThisTest) {
  std::string path;
  const UnitResult r = CurrentProgramPath(path);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "service_tests");
}

class HostUnitDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/qvx-unit-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    ASSERT_NE(::mkdtemp(buf.data()), nullptr);
    dir_ = buf.data();
  }
  void TearDown() override {
    ::chmod(dir_.c_str(), 0700);
    ::unlink((dir_ + "/brixwssvr.service").c_str());
    ::rmdir(dir_.c_str());
  }
  std::string UnitFile() const { return dir_ + "/brixwssvr.service"; }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string dir_;
};

TEST_F(HostUnitDirTest, InstallAndRemoveRoundTrip) {
  UnitResult r = InstallUnit(dir_, "/opt/qvx/brixwssvr");
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.code, 0u);
  EXPECT_EQ(Read(UnitFile()), RenderSystemdUnit("/opt/qvx/brixwssvr"));

  r = InstallUnit(dir_, "/other/brixwssvr");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.code, 0x00000431u);
  EXPECT_EQ(r.message, "CreateService failed w/err 0x00000431");
  // The installed unit is left as it was.
  EXPECT_EQ(Read(UnitFile()), RenderSystemdUnit("/opt/qvx/brixwssvr"));

  r = RemoveUnit(dir_);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_NE(::access(UnitFile().c_str(), F_OK), 0);

  r = RemoveUnit(dir_);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.code, 0x00000424u);
  EXPECT_EQ(r.message, "OpenService failed w/err 0x00000424");

  r = InstallUnit(dir_, "/opt/qvx/brixwssvr");
  EXPECT_TRUE(r.ok) << r.message;
}

TEST_F(HostUnitDirTest, MissingDirectoryIsReportedAtTheManagerStep) {
  const std::string missing = dir_ + "/absent";
  UnitResult r = InstallUnit(missing, "/opt/qvx/brixwssvr");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "OpenSCManager failed w/err 0x00000003");
  r = RemoveUnit(missing);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "OpenSCManager failed w/err 0x00000003");
}

TEST_F(HostUnitDirTest, ReadOnlyDirectoryIsAccessDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes to read-only directories";
  ASSERT_TRUE(InstallUnit(dir_, "/opt/qvx/brixwssvr").ok);
  ASSERT_EQ(::chmod(dir_.c_str(), 0500), 0);

  UnitResult r = InstallUnit(dir_, "/opt/qvx/brixwssvr");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.code, 0x00000005u);
  EXPECT_EQ(r.message, "OpenSCManager failed w/err 0x00000005");

  r = RemoveUnit(dir_);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.code, 0x00000005u);
  EXPECT_EQ(r.message, "OpenSCManager failed w/err 0x00000005");
  EXPECT_EQ(::access(UnitFile().c_str(), F_OK), 0);
}

}  // namespace
}  // namespace qvx::host
