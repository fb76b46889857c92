#include "reader/ReaderName.h"

#include <cstdio>

#include "reader/ReaderAttributes.h"

namespace qvxrdr {

std::string ReaderName(std::uint32_t readerIndex) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, " %02X 00", static_cast<unsigned>(readerIndex));
  return std::string(kVendorName) + " " + kIfdType + suffix;
}

std::string CancelEventName(std::uint32_t readerIndex) {
  return "Global\\" + ReaderName(readerIndex) + "_cancel_event";
}

}  // namespace qvxrdr
