#include "transport/UsbDescriptorChoice.h"

namespace qvx::driver {

namespace {

constexpr std::uint8_t kTypeMask = 0x03;
constexpr std::uint8_t kTypeBulk = 0x02;
constexpr std::uint8_t kTypeInterrupt = 0x03;
constexpr std::uint8_t kStringDescriptor = 0x03;

void AppendUtf8(std::uint32_t code, std::string& text) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (code >> 18));
    text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

}  // namespace

int ConfigurationToSelect(int active, std::optional<std::uint8_t> firstConfigurationValue) {
  if (active != 0) {
    return 0;
  }
  return firstConfigurationValue ? *firstConfigurationValue : -1;
}

const InterfaceDescription* FindInterface(const std::vector<InterfaceDescription>& interfaces,
                                          int number) {
  for (const InterfaceDescription& interface : interfaces) {
    if (number < 0 || interface.number == number) {
      return &interface;
    }
  }
  return nullptr;
}

std::optional<PipeChoice> ChoosePipes(const InterfaceDescription& interface) {
  std::optional<EndpointDescription> in;
  std::optional<EndpointDescription> out;
  for (const EndpointDescription& endpoint : interface.endpoints) {
    const std::uint8_t type = endpoint.attributes & kTypeMask;
    if (type != kTypeInterrupt && type != kTypeBulk) {
      continue;
    }
    std::optional<EndpointDescription>& pipe = (endpoint.address & 0x80u) != 0 ? in : out;
    if (!pipe) {
      pipe = endpoint;
    }
  }
  if (!in || !out) {
    return std::nullopt;
  }
  return PipeChoice{*in, *out};
}

std::optional<std::string> StringDescriptorText(const std::uint8_t* data, std::size_t length) {
  if (length < 2 || data[1] != kStringDescriptor) {
    return std::nullopt;
  }
  const std::size_t end = data[0] < length ? data[0] : length;
  std::string text;
  for (std::size_t i = 2; i + 1 < end; i += 2) {
    std::uint32_t unit = data[i] | (static_cast<std::uint32_t>(data[i + 1]) << 8);
    if (unit == 0) {
      break;
    }
    if (IsLowSurrogate(unit)) {
      continue;
    }
    if (IsHighSurrogate(unit)) {
      if (i + 3 >= end) {
        break;
      }
      const std::uint32_t low = data[i + 2] | (static_cast<std::uint32_t>(data[i + 3]) << 8);
      if (!IsLowSurrogate(low)) {
        continue;
      }
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    AppendUtf8(unit, text);
  }
  if (text.empty()) {
    return std::nullopt;
  }
  return text;
}

}  // namespace qvx::driver
