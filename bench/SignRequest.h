// The large GetResponse the benchmarks send: sign data of raw blocks, each
// a tag 00, a length byte and 254 bytes, so 100 blocks are the 25,600 bytes
// the device takes at most.
#pragma once

#include <cstddef>
#include <string>

#include "Stack.h"

namespace qvx::bench {

constexpr std::size_t kBlockBytes = 256;
constexpr std::size_t kFullBlocks = 100;  // 25,600 bytes

// Hexadecimal sign data of `blocks` blocks.
std::string SignData(std::size_t blocks);

// Packets on the cable (both directions) for one GetResponse of `blocks`
// blocks, from the simulator's trace. The trace keeps only its latest
// packets, so it is read for one and for two blocks, and every further
// block adds what the second one added.
std::size_t GetResponsePackets(const qvx::testing::Stack& stack, std::size_t blocks);

// Seconds for one GetResponse through the library in this process; throws
// when it does not succeed.
double TimeGetResponse(const std::string& signData);

}  // namespace qvx::bench
