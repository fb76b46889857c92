// Status descriptions and the result text every command returns.
#include "command/Status.h"

#include <array>

namespace qvx {

namespace {

constexpr std::array<const char*, 16> kDescriptions = {
    "Success",
    "Communication error",
    "Device not connected",
    "Device error",
    "Incorrect device version",
    "Card type not supported",
    "Card is blocked",
    "Cancel by user",
    "Timeout",
    "Card id not found",
    "SW1SW2",
    "PIN locked",
    "Input error",
    "BRIXON not installed",
    "Device in use",
    "Cancel by other session",
};

}  // namespace

const char* StatusDescription(Status status) {
  if (status < 0 || static_cast<std::size_t>(status) >= kDescriptions.size()) {
    return "Unknown Status";
  }
  return kDescriptions[static_cast<std::size_t>(status)];
}

std::string BuildResultText(Status status, const ResultItems& items) {
  std::string text = "Status=" + std::to_string(status);
  text += "\nStatusDescription=";
  text += StatusDescription(status);
  for (const auto& [key, value] : items) {
    text += '\n';
    text += key;
    text += '=';
    text += value;
  }
  return text;
}

}  // namespace qvx
