// GUID text in the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <cstddef>

#include "platform/com/GuidText.h"

namespace platform {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Byte order of the 16 bytes as they appear in the text.
std::string Format(REFGUID g) {
  std::string out = "{";
  auto hex = [&out](std::uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
      out += kHexDigits[(value >> shift) & 0xF];
    }
  };
  hex(g.Data1, 8);
  out += '-';
  hex(g.Data2, 4);
  out += '-';
  hex(g.Data3, 4);
  out += '-';
  hex(g.Data4[0], 2);
  hex(g.Data4[1], 2);
  out += '-';
  for (int i = 2; i < 8; ++i) {
    hex(g.Data4[i], 2);
  }
  out += '}';
  return out;
}

int HexValue(unsigned c) {
  if (c >= '0' && c <= '9') {
    return static_cast<int>(c - '0');
  }
  if (c >= 'a' && c <= 'f') {
    return static_cast<int>(c - 'a' + 10);
  }
  if (c >= 'A' && c <= 'F') {
    return static_cast<int>(c - 'A' + 10);
  }
  return -1;
}

// Every character must be at its place.
bool Parse(const char* text, GUID* guid) {
  if (text == nullptr || guid == nullptr) {
    return false;
  }
  static constexpr char kShape[] = "{........-....-....-....-............}";
  std::uint64_t fields[5] = {};
  int field = 0;
  for (int i = 0; i < kGuidStringLength; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0) {
      return false;
    }
    if (kShape[i] == '.') {
      const int value = HexValue(c);
      if (value < 0) {
        return false;
      }
      fields[field] = fields[field] << 4 | static_cast<unsigned>(value);
    } else if (c != static_cast<unsigned char>(kShape[i])) {
      return false;
    } else if (c == '-') {
      ++field;
    }
  }
  if (text[kGuidStringLength] != 0) {
    return false;
  }
  guid->Data1 = static_cast<DWORD>(fields[0]);
  guid->Data2 = static_cast<WORD>(fields[1]);
  guid->Data3 = static_cast<WORD>(fields[2]);
  guid->Data4[0] = static_cast<BYTE>(fields[3] >> 8);
  guid->Data4[1] = static_cast<BYTE>(fields[3]);
  for (int i = 0; i < 6; ++i) {
    guid->Data4[2 + i] = static_cast<BYTE>(fields[4] >> ((5 - i) * 8));
  }
  return true;
}

}  // namespace

std::string GuidToString(REFGUID guid) { return Format(guid); }

bool GuidFromString(const char* text, GUID* guid) { return Parse(text, guid); }

}  // namespace platform
