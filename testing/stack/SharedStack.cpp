#include "SharedStack.h"

#include <memory>
#include <stdexcept>

namespace qvx::testing {

namespace {

// The simulator's own start values, restored between tests.
constexpr const char* kDefaultCard = "card 5412751234567890 01";
constexpr const char* kDefaultFirmware = "firmware 01.20";
constexpr const char* kDefaultTimeout = "timeout 30000";
constexpr const char* kQuickCustomer = "customer approve 50";

struct Shared {
  std::unique_ptr<Stack> stack;
  std::string failure;
  bool tried = false;
};

Shared& State() {
  // Destroyed at exit, which takes the stack down.
  static Shared shared;
  return shared;
}

}  // namespace

Stack* SharedStack(std::string* why) {
  Shared& shared = State();
  if (!shared.tried) {
    shared.tried = true;
    if (Stack::Available(&shared.failure)) {
      try {
        StackOptions options;
        options.readers = UsbLane() ? 1 : 2;
        shared.stack = std::make_unique<Stack>(options);
        shared.stack->ExportToThisProcess();
      } catch (const std::exception& e) {
        shared.failure = e.what();
      }
    }
  }
  if (why != nullptr) *why = shared.failure;
  return shared.stack.get();
}

void ResetSimulators(const Stack& stack) {
  for (int unit = 0; unit < stack.Readers(); ++unit) {
    for (const char* command : {"plug", "insert", kDefaultCard, kDefaultFirmware, kDefaultTimeout,
                                kQuickCustomer, "trace clear"})
      stack.Control(command, unit);
  }
}

}  // namespace qvx::testing
