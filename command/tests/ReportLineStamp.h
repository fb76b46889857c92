// Checks the thread-number and time-stamp prefix of a report line by shape.
// (std::regex trips GCC 12's -Wmaybe-uninitialized under the sanitizers.)
#pragma once

#include <cctype>
#include <string>

namespace qvx {

constexpr std::size_t kReportStampLength = 34;

// "0000004711:2023-05-01 09:05:07.042": '#' stands for any decimal digit.
inline bool IsReportStamp(const std::string& text) {
  static const std::string shape = "##########:####-##-## ##:##:##.###";
  if (text.size() != shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (shape[i] == '#' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

}  // namespace qvx
