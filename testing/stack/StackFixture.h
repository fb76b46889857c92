// Tests on this process's stack (ProcessStack), skipped where the machine
// cannot run one; every test starts with a customer who confirms.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "SharedStack.h"
#include "Stack.h"

namespace qvx::testing {

class ProcessStackTest : public ::testing::Test {
 protected:
  // How the suite's stack is brought up, if this test is the first.
  virtual StackOptions Options() const { return {}; }
  virtual std::string Prepare(Stack& /*stack*/) { return {}; }

  void SetUp() override {
    std::string why;
    if (!Stack::Available(&why)) GTEST_SKIP() << why;
    m_stack = ProcessStack(&why, Options(), [this](Stack& stack) { return Prepare(stack); });
    ASSERT_NE(m_stack, nullptr) << why;
    m_stack->Control("customer approve 50");
  }

  Stack* m_stack = nullptr;
};

}  // namespace qvx::testing
