#include "SignRequest.h"

#include <stdexcept>
#include <string>

#include "SimulatorTrace.h"

namespace qvx::bench {

namespace {

// Packets the simulator's trace keeps; a count this high may have lost some.
constexpr std::size_t kTraceCapacity = 256;

std::size_t TracedPacketsOf(const qvx::testing::Stack& stack, std::size_t blocks) {
  stack.Control("trace clear");
  TimeGetResponse(SignData(blocks));
  const std::size_t count = qvx::testing::ParseTrace(stack.Control("trace")).size();
  if (count >= kTraceCapacity)
    throw std::runtime_error("the trace overflowed for " + std::to_string(blocks) + " blocks");
  return count;
}

}  // namespace

std::size_t GetResponsePackets(const qvx::testing::Stack& stack, std::size_t blocks) {
  const std::size_t one = TracedPacketsOf(stack, 1);
  if (blocks == 1) return one;
  const std::size_t two = TracedPacketsOf(stack, 2);
  return one + (blocks - 1) * (two - one);
}

}  // namespace qvx::bench
