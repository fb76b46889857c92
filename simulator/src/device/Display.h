// The device's LCD: up to five lines of 17 columns (four of text, one for
// the keypad prompt).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvx::sim {

class Display {
 public:
  static constexpr std::size_t kColumns = 17;
  static constexpr std::size_t kRows = 5;

  // Lines beyond the rows and columns are cut off; text is UTF-8.
  void Show(std::vector<std::string> lines);
  const std::vector<std::string>& Lines() const { return m_lines; }
  // Lines joined by '|'.
  std::string Joined() const;

 private:
  std::vector<std::string> m_lines;
};

// Card texts are single-byte Latin-1; the display keeps UTF-8.
std::string Latin1ToUtf8(const std::uint8_t* data, std::size_t size);

}  // namespace qvx::sim
