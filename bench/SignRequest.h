// The packet count of the large GetResponse (SignData.h) on the cable.
#pragma once

#include <cstddef>

#include "SignData.h"
#include "Stack.h"

namespace qvx::bench {

// Packets on the cable (both directions) for one GetResponse of `blocks`
// blocks, from the simulator's trace. The trace keeps only its latest
// packets, so it is read for one and for two blocks, and every further
// block adds what the second one added.
std::size_t GetResponsePackets(const qvx::testing::Stack& stack, std::size_t blocks);

}  // namespace qvx::bench
