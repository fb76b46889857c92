// The input of a get-response request: a list of elements (type, count,
// bytes) followed by a 2-byte parameter word. Checked completely before
// anything goes to the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reader/InputReason.h"

namespace qvx::driver {

// One element as it goes out with command 0x05: type, count and bytes.
struct ElementSpan {
  std::size_t offset = 0;  // of the type byte within the input
  std::size_t size = 0;    // 2 + count
};

struct ElementList {
  InputReason fault = InputReason::None;
  std::vector<ElementSpan> elements;
  std::uint8_t parameter[2] = {0, 0};
};

// Displayable on the device: none below 0x20, none in 0x80..0x8F or
// 0x92..0xA0, and not the soft hyphen 0xAD.
bool IsDisplayable(std::uint8_t c);

ElementList ParseElementList(const std::vector<std::uint8_t>& input);

}  // namespace qvx::driver
