#include "reader/ElementList.h"

namespace qvx::driver {

namespace {

constexpr std::uint8_t kTypeRaw = 0;
constexpr std::uint8_t kTypeDisplay = 1;
constexpr std::size_t kDisplayCount = 68;

bool ElementValid(const std::uint8_t* element, std::size_t count) {
  const std::uint8_t type = element[0];
  if (type == kTypeRaw) {
    return true;
  }
  if (type != kTypeDisplay || count != kDisplayCount) {
    return false;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (!IsDisplayable(element[2 + i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsDisplayable(std::uint8_t c) {
  if (c < 0x20) return false;
  if (c >= 0x80 && c <= 0x8F) return false;
  if (c >= 0x92 && c <= 0xA0) return false;
  return c != 0xAD;
}

ElementList ParseElementList(ByteView input) {
  ElementList result;
  if (input.size() > kMaxRequestSize) {
    result.fault = InputReason::TooLong;
    return result;
  }
  if (input.size() < 2) {
    result.fault = InputReason::Malformed;
    return result;
  }
  const std::size_t listEnd = input.size() - 2;
  std::size_t offset = 0;
  std::size_t count = 0;
  while (offset < listEnd) {
    // Type and count must both lie inside the list, and so must the bytes.
    if (listEnd - offset < 2) {
      result.fault = InputReason::Malformed;
      break;
    }
    const std::size_t length = input[offset + 1];
    if (listEnd - offset - 2 < length || !ElementValid(input.data() + offset, length)) {
      result.fault = InputReason::Malformed;
      break;
    }
    ++count;
    offset += 2 + length;
  }
  if (result.fault == InputReason::None && count == 0) {
    result.fault = InputReason::Malformed;
  }
  if (result.fault != InputReason::None) {
    return result;
  }
  result.elements = ElementRange(input.data(), listEnd, count);
  result.parameter[0] = input[listEnd];
  result.parameter[1] = input[listEnd + 1];
  return result;
}

}  // namespace qvx::driver
