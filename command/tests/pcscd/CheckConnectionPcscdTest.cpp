// The library and qvxcmd against a real pcscd of the test's own that has no
// reader: the device counts as not connected.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "PrivateDir.h"
#include "PrivatePcscd.h"
#include "command/Quorvex2.h"

namespace {

using qvx::testing::PrivateDir;
using qvx::testing::PrivatePcscd;

const char* const kNotConnected =
    "Status=2\nStatusDescription=Device not connected\n"
    "Device_Version=\nDriver_Version=\nBRIXON_Version=02.20";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class NoReaderPcscd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!PrivatePcscd::Available(&s_skipReason)) return;
    s_dir = std::make_unique<PrivateDir>("qvx-cmd-pcscd", PrivateDir::Places::kPlatform);
    s_pcscd = std::make_unique<PrivatePcscd>();
    s_pcscd->Start(*s_dir / "pcscd");
    // Before this process's first PC/SC call: the client keeps the path.
    s_pcscd->ExportSocketPath();
  }
  static void TearDownTestSuite() {
    s_pcscd.reset();
    s_dir.reset();
  }
  void SetUp() override {
    if (!s_pcscd) GTEST_SKIP() << s_skipReason;
  }

  static std::string LogText() { return ReadFile(*s_dir / "BRIXWSSVR/Brixwssvr_Log.txt"); }

  static std::unique_ptr<PrivateDir> s_dir;
  static std::string s_skipReason;
  static std::unique_ptr<PrivatePcscd> s_pcscd;
};

std::unique_ptr<PrivateDir> NoReaderPcscd::s_dir;
std::string NoReaderPcscd::s_skipReason;
std::unique_ptr<PrivatePcscd> NoReaderPcscd::s_pcscd;

TEST_F(NoReaderPcscd, CheckConnectionReportsDeviceNotConnected) {
  std::string result;
  {
    qvx::CQuorvex2 command;
    result = command.CheckConnection();
    // The command's context is still open: proof of which pcscd answered.
    EXPECT_TRUE(s_pcscd->ServesThisProcess());
  }
  EXPECT_EQ(result, kNotConnected);
  const std::string log = LogText();
  EXPECT_NE(log.find("CQuorvex2::CheckConnection() ==> "), std::string::npos) << log;
  EXPECT_NE(log.find("SCARD_E_NO_READERS_AVAILABLE"), std::string::npos) << log;
  EXPECT_NE(log.find("CQuorvex2::CheckConnection() <== "), std::string::npos) << log;
}

TEST_F(NoReaderPcscd, QvxcmdPrintsTheResultAndExitsWithTheStatus) {
  const std::string command = std::string(QVXCMD_PATH) + " check-connection";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = ::pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(output, std::string(kNotConnected) + "\n");
}

TEST_F(NoReaderPcscd, CancelWithoutDeviceOnlyLogs) {
  {
    qvx::CQuorvex2 command;
    command.Cancel();
  }
  EXPECT_NE(LogText().find("GetReaderName() => SCardListReaders() failed."), std::string::npos);
}

}  // namespace
