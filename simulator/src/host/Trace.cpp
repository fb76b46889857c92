#include "host/Trace.h"

namespace qvx::sim {

void Trace::Add(char direction, const Packet& packet) {
  if (capacity_ == 0) return;
  if (entries_.size() == capacity_) entries_.pop_front();
  entries_.push_back(direction + ToHex(packet));
}

std::string Trace::Text() const {
  std::string text;
  for (const std::string& entry : entries_) {
    if (!text.empty()) text += ' ';
    text += entry;
  }
  return text;
}

}  // namespace qvx::sim
