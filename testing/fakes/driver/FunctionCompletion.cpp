#include "FunctionCompletion.h"

#include <deque>
#include <mutex>
#include <utility>

namespace qvx::testing {

namespace {

using InFunctionType = std::function<void(qvx::driver::NTSTATUS, const qvx::driver::Packet&)>;
using OutFunctionType = std::function<void(qvx::driver::NTSTATUS)>;

// Never shrinks: a deque keeps its elements in place as it grows.
template <class Function>
Function* Keep(Function function) {
  static std::mutex mutex;
  static std::deque<Function> kept;
  std::lock_guard<std::mutex> guard(mutex);
  kept.push_back(std::move(function));
  return &kept.back();
}

void RunIn(void* context, qvx::driver::NTSTATUS status, const qvx::driver::Packet& packet) {
  (*static_cast<InFunctionType*>(context))(status, packet);
}

void RunOut(void* context, qvx::driver::NTSTATUS status) {
  (*static_cast<OutFunctionType*>(context))(status);
}

}  // namespace

qvx::driver::InCompletion InFunction(InFunctionType function) {
  return qvx::driver::InCompletion(&RunIn, Keep(std::move(function)));
}

qvx::driver::OutCompletion OutFunction(OutFunctionType function) {
  return qvx::driver::OutCompletion(&RunOut, Keep(std::move(function)));
}

}  // namespace qvx::testing
