#include "link/Trace.h"

namespace qvx::sim {

void Trace::Add(char direction, const Packet& packet) {
  if (m_capacity == 0) return;
  if (m_entries.size() == m_capacity) m_entries.pop_front();
  m_entries.push_back(direction + ToHex(packet));
}

std::string Trace::Text() const {
  std::string text;
  for (const std::string& entry : m_entries) {
    if (!text.empty()) text += ' ';
    text += entry;
  }
  return text;
}

}  // namespace qvx::sim
