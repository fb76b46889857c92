#include "SignRequest.h"

#include <chrono>
#include <stdexcept>

#include "Trace.h"
#include "command/Quorvex2.h"

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

std::string SignData(std::size_t blocks) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string text;
  text.reserve(blocks * kBlockBytes * 2);
  for (std::size_t block = 0; block < blocks; ++block) {
    text += "00FE";  // tag 0, 254 bytes
    for (std::size_t i = 0; i < kBlockBytes - 2; ++i) {
      const auto byte = static_cast<unsigned>((block + i) & 0xFF);
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0x0F];
    }
  }
  return text;
}

std::size_t GetResponsePackets(const qvx::testing::Stack& stack, std::size_t blocks) {
  const std::size_t one = TracedPacketsOf(stack, 1);
  if (blocks == 1) return one;
  const std::size_t two = TracedPacketsOf(stack, 2);
  return one + (blocks - 1) * (two - one);
}

double TimeGetResponse(const std::string& signData) {
  const auto start = std::chrono::steady_clock::now();
  std::string result;
  {
    qvx::CQuorvex2 command;
    result = command.GetResponse(signData, "en");
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (result.rfind("Status=0\n", 0) != 0)
    throw std::runtime_error("GetResponse failed:\n" + result);
  return elapsed.count();
}

}  // namespace qvx::bench
