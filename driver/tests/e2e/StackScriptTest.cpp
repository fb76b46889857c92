// scripts/stack itself: what it leaves for clients, status, and a down that
// may run any number of times.
#include <filesystem>
#include <memory>
#include <string>

#include "E2eFixture.h"

namespace qvx::testing {
namespace {

namespace fs = std::filesystem;

TEST(StackScript, UpWritesTheEnvironmentAndDownCleansUpTwice) {
  QVX_SOCKET_LANE_ONLY(kNeedsTwoReaders);
  std::string why;
  if (!Stack::Available(&why)) GTEST_SKIP() << why;
  StackOptions options;
  options.readers = 2;
  Stack stack(options);

  for (const char* name : {"PCSCLITE_CSOCK_NAME", "QVX_OBJECT_DIR", "QVX_REGISTRY_ROOT",
                           "ALLUSERSPROFILE", "QVXSIM_CONTROL", "QVX_STACK_DIR"}) {
    ASSERT_EQ(stack.Env().count(name), 1u) << name;
    EXPECT_EQ(stack.Env().at(name).rfind(stack.Dir(), 0), 0u) << name << " lies outside";
  }
  EXPECT_TRUE(fs::is_socket(stack.Env().at("PCSCLITE_CSOCK_NAME")));

  const ProcessResult status = qvx::testing::Run({StackScriptPath(), "status", stack.Dir()});
  EXPECT_EQ(status.exitCode, 0) << status.output << status.errors;
  EXPECT_NE(status.output.find("reader: " + ReaderName(0) + "\n"), std::string::npos);
  EXPECT_NE(status.output.find("reader: " + ReaderName(1) + "\n"), std::string::npos);

  for (int round = 0; round < 2; ++round) {
    const ProcessResult down = qvx::testing::Run({StackScriptPath(), "down", stack.Dir()});
    EXPECT_EQ(down.exitCode, 0) << down.errors;
  }
  EXPECT_NE(qvx::testing::Run({StackScriptPath(), "status", stack.Dir()}).exitCode, 0);
  for (const auto& entry : fs::directory_iterator(stack.Dir()))
    EXPECT_FALSE(entry.is_socket()) << entry.path() << " left behind";
  EXPECT_FALSE(fs::exists(stack.Dir() + "/env"));
}

}  // namespace
}  // namespace qvx::testing
