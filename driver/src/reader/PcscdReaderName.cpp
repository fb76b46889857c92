#include "reader/PcscdReaderName.h"

#include <cstdio>
#include <cstdlib>

namespace qvx::driver {

namespace {

// pcscd replaces every byte outside ASCII in the interface string by a dot
// (so one accented letter in UTF-8 becomes two dots); the serial number
// goes in unchanged.
std::string AsciiOnly(std::string text) {
  for (char& c : text) {
    if ((static_cast<unsigned char>(c) & 0x80u) != 0) c = '.';
  }
  return text;
}

bool Present(const std::optional<std::string>& text) { return text && !text->empty(); }

}  // namespace

std::string ListedReaderName(const DeviceNameStrings& strings, std::uint32_t readerIndex,
                             const std::string& extension) {
  std::string name = kFriendlyName;
  if (Present(strings.interfaceName)) {
    name += " [" + AsciiOnly(*strings.interfaceName) + "]";
  }
  if (Present(strings.serialNumber) &&
      !(Present(strings.interfaceName) &&
        strings.interfaceName->find(*strings.serialNumber) != std::string::npos)) {
    name += " (" + *strings.serialNumber + ")";
  }
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, " %02X 00", static_cast<unsigned>(readerIndex));
  return name + extension + suffix;
}

std::string ReaderNameExtension() {
  const char* extension = std::getenv("PCSCLITE_FILTER_EXTEND_READER_NAMES");
  return extension != nullptr ? extension : "";
}

std::string ReaderName(std::uint32_t readerIndex) {
  return ListedReaderName(DeviceNameStrings{}, readerIndex);
}

std::string CancelEventName(std::uint32_t readerIndex) {
  return CancelEventName(ReaderName(readerIndex));
}

}  // namespace qvx::driver
