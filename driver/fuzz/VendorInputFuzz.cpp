// Fuzz entry: the input checks of the vendor requests, on arbitrary bytes.
// The first byte picks the check: the element list of a get-response
// request, or the mode-1 block. Besides not failing, what a check accepts
// must be exactly what it promises to the device.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzSeeds.h"
#include "reader/ElementList.h"
#include "reader/InputReason.h"
#include "reader/Mode1Block.h"

namespace {

using qvx::driver::InputReason;

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckElementList(const std::vector<std::uint8_t>& input) {
  const qvx::driver::ElementList list = qvx::driver::ParseElementList(input);
  if (list.fault != InputReason::None) {
    Require(list.elements.empty());
    return;
  }
  // Accepted: elements tile the input up to the parameter word, each a
  // raw element or a displayable text of 68 characters.
  Require(input.size() >= 2 && input.size() <= qvx::driver::kMaxRequestSize);
  Require(!list.elements.empty());
  std::size_t offset = 0;
  for (const qvx::driver::ElementSpan& element : list.elements) {
    Require(element.offset == offset && offset + 2 <= input.size() - 2);
    const std::size_t count = input[offset + 1];
    Require(element.size == 2 + count && offset + element.size <= input.size() - 2);
    const std::uint8_t type = input[offset];
    Require(type == 0 || type == 1);
    if (type == 1) {
      Require(count == 68);
      for (std::size_t i = 0; i < count; ++i)
        Require(qvx::driver::IsDisplayable(input[offset + 2 + i]));
    }
    offset += element.size;
  }
  Require(offset == input.size() - 2);
  Require(list.parameter[0] == input[offset] && list.parameter[1] == input[offset + 1]);
}

void CheckMode1Block(const std::vector<std::uint8_t>& input) {
  qvx::driver::Mode1Block block;
  block.fill(0xEE);
  if (!qvx::driver::BuildMode1Block(input, &block)) return;
  const std::size_t n = input.at(0);
  Require(n >= 1 && n <= 4);
  const bool withAmount = input.size() == n + 9;
  Require(withAmount || input.size() == n + 1);
  // 01 len | 9F37 04 challenge (right-aligned) | 9F02 len amount | 5F2A len currency | zeros
  std::vector<std::uint8_t> expected = {0x01, static_cast<std::uint8_t>(withAmount ? 21 : 13), 0x9F,
                                        0x37, 0x04};
  for (std::size_t i = n; i < 4; ++i) expected.push_back(0);
  expected.insert(expected.end(), input.begin() + 1, input.begin() + 1 + static_cast<long>(n));
  expected.insert(expected.end(), {0x9F, 0x02, static_cast<std::uint8_t>(withAmount ? 6 : 0)});
  if (withAmount)
    expected.insert(expected.end(), input.begin() + 1 + static_cast<long>(n) + 2, input.end());
  expected.insert(expected.end(), {0x5F, 0x2A, static_cast<std::uint8_t>(withAmount ? 2 : 0)});
  if (withAmount) {
    expected.insert(expected.end(), input.begin() + 1 + static_cast<long>(n),
                    input.begin() + 1 + static_cast<long>(n) + 2);
  }
  Require(expected.size() <= block.size());
  expected.resize(block.size(), 0);
  Require(std::vector<std::uint8_t>(block.begin(), block.end()) == expected);
}

}  // namespace

std::vector<std::string> FuzzSeeds() {
  std::string display = std::string("\x00\x01\x44", 3) + std::string(68, 'A') + "\x00\x01";
  std::string raw = std::string("\x00\x00\x03\xCC\xDD\xEE\x00\x02\x11\x22\x01\x02", 12);
  return {display, raw, std::string("\x01\x04\x12\x34\x56\x78", 6),
          std::string("\x01\x02\x12\x34\x09\x78\x00\x00\x00\x01\x23\x45", 12),
          std::string("\x01\x05\x00", 3)};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::vector<std::uint8_t> input(data + 1, data + size);
  if (data[0] % 2 == 0) {
    CheckElementList(input);
  } else {
    CheckMode1Block(input);
  }
  return 0;
}
