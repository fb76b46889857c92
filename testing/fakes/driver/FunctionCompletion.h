// Lambdas as lower-edge completions, for tests that drive a lower edge
// directly: the edge takes a routine and its context, the test a function.
//
// Offers: InFunction(f), OutFunction(f). Each keeps its function for the
// rest of the process, so a completion that runs late (from an edge's
// destructor) still finds it.
#pragma once

#include <functional>

#include "transport/LowerEdge.h"

namespace qvx::testing {

qvx::driver::InCompletion InFunction(
    std::function<void(qvx::driver::NTSTATUS, const qvx::driver::Packet&)> function);
qvx::driver::OutCompletion OutFunction(std::function<void(qvx::driver::NTSTATUS)> function);

}  // namespace qvx::testing
