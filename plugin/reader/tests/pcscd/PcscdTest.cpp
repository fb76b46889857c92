// The reader access over the real stack: libpcsclite loaded at run time, a
// private pcscd with the reader driver, and the simulated device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <string>

#include "Stack.h"
#include "StackFixture.h"
#include "brixon/Error.h"
#include "brixon/PCSC.h"
#include "command/Exchanges.h"

namespace {

using namespace qvx::brixon;
using qvx::testing::Stack;

class ReaderAccessOverPcscd : public qvx::testing::ProcessStackTest {
 protected:
  std::string Prepare(Stack& stack) override {
    ::setenv("TEMP", stack.Dir().c_str(), 1);  // the plug-in's log
    return {};
  }
};

TEST_F(ReaderAccessOverPcscd, OneRequestReachesTheDevice) {
  CPCSC pcsc;
  ASSERT_FALSE(pcsc.IsDirectPath());
  const qvx::Bytes answer = pcsc.Execute(qvx::contract::ControlIndex::CheckDevice, {});
  ASSERT_FALSE(answer.empty());
  EXPECT_EQ(answer.back(), 0) << "two zero-terminated versions";
  EXPECT_EQ(std::string(answer.begin(), answer.begin() + 3), "01.");
  EXPECT_EQ(pcsc.GetReaderName(), qvx::testing::ReaderName(0));
}

TEST_F(ReaderAccessOverPcscd, ANewcomerEndsTheWaitingRequestThroughTheDriver) {
  m_stack->Control("customer never");
  auto holder = std::async(std::launch::async, [] {
    CPCSC pcsc;
    try {
      qvx::ExchangeGetMode2Response(pcsc);
    } catch (const CError& e) {
      return e.GetStatus();
    }
    return 0;
  });
  ASSERT_TRUE([&] {
    for (int i = 0; i < 500; ++i) {
      if (m_stack->Control("state").find("waiting=yes") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }());
  CPCSC newcomer;
  EXPECT_FALSE(newcomer.Execute(qvx::contract::ControlIndex::CheckDevice, {}).empty());
  EXPECT_EQ(holder.get(), 15);
}

}  // namespace
