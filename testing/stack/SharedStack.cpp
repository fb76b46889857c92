#include "SharedStack.h"

#include <memory>
#include <stdexcept>

namespace qvx::testing {

namespace {

// Back to the simulator's own start values: connected, a card in, the
// default card, firmware and keypad time-out, a customer who confirms at
// once, and an empty trace.
constexpr const char* kStartState[] = {
    "plug",           "insert",        "card 5412751234567890 01",
    "firmware 01.20", "timeout 30000", "customer approve 50",
    "trace clear"};

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

Stack* ProcessStack(std::string* why, const StackOptions& options,
                    const StackPreparation& prepare) {
  Shared& shared = State();
  if (!shared.tried) {
    shared.tried = true;
    if (Stack::Available(&shared.failure)) {
      try {
        shared.stack = std::make_unique<Stack>(options);
        shared.stack->ExportToThisProcess();
        if (prepare) shared.failure = prepare(*shared.stack);
        if (!shared.failure.empty()) shared.stack.reset();
      } catch (const std::exception& e) {
        shared.failure = e.what();
        shared.stack.reset();
      }
    }
  }
  if (why != nullptr) *why = shared.failure;
  return shared.stack.get();
}

StackOptions SharedStackOptions() {
  StackOptions options;
  options.readers = UsbLane() ? 1 : 2;
  return options;
}

void ResetSimulators(const Stack& stack) {
  for (int unit = 0; unit < stack.Readers(); ++unit) {
    for (const char* command : kStartState) stack.Control(command, unit);
  }
}

}  // namespace qvx::testing
