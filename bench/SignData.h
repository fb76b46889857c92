// The large GetResponse the benchmarks send: sign data of raw blocks, each
// a tag 00, a length byte and 254 bytes, so 100 blocks are the 25,600 bytes
// the device takes at most. Needs only the command library, so the Windows
// benchmark builds it too.
#pragma once

#include <cstddef>
#include <string>

namespace qvx::bench {

constexpr std::size_t kBlockBytes = 256;
constexpr std::size_t kFullBlocks = 100;  // 25,600 bytes

// Hexadecimal sign data of `blocks` blocks.
std::string SignData(std::size_t blocks);

// Seconds for one GetResponse through the library in this process; throws
// when it does not succeed.
double TimeGetResponse(const std::string& signData);

}  // namespace qvx::bench
