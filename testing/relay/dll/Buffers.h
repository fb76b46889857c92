// The relay's reader lists in the caller's buffers (the shared rules in
// winscard/Buffers.h).
#pragma once

#include "winscard/Buffers.h"
#include "wire/Wire.h"

namespace qvx::testing::relay {

using winscard::CopyOut;
using winscard::Narrow;
using winscard::Wide;

// A list of names, each ending in a terminator, then one more, whatever the Linux side sent (a
// single name with one terminator, or none at all).
inline std::string MultiString(const wire::Bytes& names) {
  std::string text(names.begin(), names.end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  text.append(2, '\0');
  return text;
}

}  // namespace qvx::testing::relay
