// Fixtures of the end-to-end tests and the helpers they share.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "Eventually.h"
#include "SharedStack.h"
#include "SimulatorTrace.h"
#include "Stack.h"
#include "StackFixture.h"

namespace qvx::testing {

// Tests on this process's shared two-reader stack; the simulators start
// every test in their unattended state with an empty trace.
class SharedStackTest : public ProcessStackTest {
 protected:
  StackOptions Options() const override { return SharedStackOptions(); }

  void SetUp() override {
    ProcessStackTest::SetUp();
    if (m_stack == nullptr) return;
    ResetSimulators(*m_stack);
    m_logStart = m_stack->ServiceLog().size();
  }

  Stack& stack() { return *m_stack; }
  // NewLog() starts from here.
  void MarkLog() { m_logStart = m_stack->ServiceLog().size(); }
  // What the command library logged since the test began or MarkLog().
  std::string NewLog() { return m_stack->ServiceLog().substr(m_logStart); }
  std::vector<TracedPacket> TraceOf(int unit = 0) {
    return ParseTrace(m_stack->Control("trace", unit));
  }

 private:
  std::size_t m_logStart = 0;
};

// Log text without its layout: continuation marks and all white space go,
// so a phrase is found wherever the log broke its line.
inline std::string Squeezed(const std::string& text) {
  std::string squeezed;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, " \\\n") == 0) {
      i += 2;
    } else if (!std::isspace(static_cast<unsigned char>(text[i]))) {
      squeezed += text[i];
    }
  }
  return squeezed;
}

inline bool LogHas(const std::string& log, const std::string& phrase) {
  return Squeezed(log).find(Squeezed(phrase)) != std::string::npos;
}

// The start of the last-error record as the library logs it: category and
// first detail byte, "Extended error codes: (0x0a, 0x19".
inline std::string ExtendedErrorText(int category, int detail) {
  char text[64];
  std::snprintf(text, sizeof text, "Extended error codes: (0x%.2x, 0x%.2x", category, detail);
  return text;
}

}  // namespace qvx::testing
