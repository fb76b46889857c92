// The input of a get-response request: a list of elements (type, count,
// bytes) followed by a 2-byte parameter word. Checked completely before
// anything goes to the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "kernel/Bytes.h"
#include "reader/InputReason.h"

namespace qvx::driver {

// One element as it goes out with command 0x05: type, count and bytes.
struct ElementSpan {
  std::size_t offset = 0;  // of the type byte within the input
  std::size_t size = 0;    // 2 + count
};

// The elements of a checked list, walked in the caller's input (which must
// outlive it): up to 12800 of them, too many to copy on a kernel stack.
class ElementRange {
 public:
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = ElementSpan;
    using difference_type = std::ptrdiff_t;
    using pointer = const ElementSpan*;
    using reference = const ElementSpan&;

    Iterator(const std::uint8_t* input, std::size_t offset) : m_input(input), m_offset(offset) {}
    ElementSpan operator*() const { return {m_offset, 2u + m_input[m_offset + 1]}; }
    Iterator& operator++() {
      m_offset += 2u + m_input[m_offset + 1];
      return *this;
    }
    bool operator==(const Iterator& other) const { return m_offset == other.m_offset; }
    bool operator!=(const Iterator& other) const { return m_offset != other.m_offset; }

   private:
    const std::uint8_t* m_input;
    std::size_t m_offset;
  };

  ElementRange() = default;
  ElementRange(const std::uint8_t* input, std::size_t listEnd, std::size_t count)
      : m_input(input), m_listEnd(listEnd), m_count(count) {}

  std::size_t size() const { return m_count; }
  bool empty() const { return m_count == 0; }
  Iterator begin() const { return {m_input, 0}; }
  Iterator end() const { return {m_input, m_count == 0 ? 0 : m_listEnd}; }
  // Walks from the first: for tests and tools.
  ElementSpan operator[](std::size_t index) const {
    Iterator at = begin();
    for (std::size_t i = 0; i < index; ++i) ++at;
    return *at;
  }

 private:
  const std::uint8_t* m_input = nullptr;
  std::size_t m_listEnd = 0;
  std::size_t m_count = 0;
};

struct ElementList {
  InputReason fault = InputReason::None;
  ElementRange elements;
  std::uint8_t parameter[2] = {0, 0};
};

// Displayable on the device: none below 0x20, none in 0x80..0x8F or
// 0x92..0xA0, and not the soft hyphen 0xAD.
bool IsDisplayable(std::uint8_t c);

ElementList ParseElementList(ByteView input);

}  // namespace qvx::driver
