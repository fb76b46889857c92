#include "device/Display.h"

namespace qvx::sim {
namespace {

// Cuts a UTF-8 string after `columns` characters.
std::string Clip(const std::string& text, std::size_t columns) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80) {
      if (characters == columns) return text.substr(0, i);
      ++characters;
    }
  }
  return text;
}

}  // namespace

void Display::Show(std::vector<std::string> lines) {
  if (lines.size() > kRows) lines.resize(kRows);
  for (std::string& line : lines) line = Clip(line, kColumns);
  m_lines = std::move(lines);
}

std::string Display::Joined() const {
  std::string text;
  for (std::size_t i = 0; i < m_lines.size(); ++i) {
    if (i != 0) text += '|';
    text += m_lines[i];
  }
  return text;
}

std::string Latin1ToUtf8(const std::uint8_t* data, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t c = data[i];
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

}  // namespace qvx::sim
