// A device that breaks the packet framing: the request ends in category 3
// (status 3) and the driver takes the device out of service. It runs on a
// stack of its own, since the device stays failed.
#include <memory>
#include <string>

#include "E2eFixture.h"

namespace qvx::testing {
namespace {

class Framing : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!Stack::Available(&why)) GTEST_SKIP() << why;
    m_stack = std::make_unique<Stack>();
  }
  std::unique_ptr<Stack> m_stack;
};

TEST_F(Framing, ViolationFailsTheRequestAndTheDevice) {
  ASSERT_EQ(m_stack->Qvxcmd({"check-connection"}).exitCode, 0);
  m_stack->Control("malformed count7");

  const ProcessResult broken = m_stack->Qvxcmd({"get-mode2-response"});
  EXPECT_EQ(broken.exitCode, 3) << broken.output << broken.errors;
  EXPECT_NE(broken.output.find("StatusDescription=Device error"), std::string::npos);
  EXPECT_TRUE(LogHas(m_stack->ServiceLog(), ExtendedErrorText(3, 0))) << m_stack->ServiceLog();
  // The driver names the kind of violation in pcscd's log.
  EXPECT_NE(m_stack->PcscdLog().find("!!ERROR: Invalid data from reader:"), std::string::npos)
      << m_stack->PcscdLog();

  // The device is out of service now: every later request fails.
  for (const char* command : {"check-connection", "get-mode2-response"}) {
    const ProcessResult after = m_stack->Qvxcmd({command});
    EXPECT_NE(after.exitCode, 0) << command << ": " << after.output;
  }
}

}  // namespace
}  // namespace qvx::testing
