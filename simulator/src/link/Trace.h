// The most recent packets on the cable, both directions, in a bounded ring.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "device/DevicePackets.h"

namespace qvx::sim {

class Trace {
 public:
  explicit Trace(std::size_t capacity = 256) : m_capacity(capacity) {}

  void HostToDevice(const Packet& packet) { Add('>', packet); }
  void DeviceToHost(const Packet& packet) { Add('<', packet); }
  void Clear() { m_entries.clear(); }
  // ">01 03 02 00 00 00 00 00 <01 03 05 06 00 00 00 00", oldest first.
  std::string Text() const;

 private:
  void Add(char direction, const Packet& packet);

  std::size_t m_capacity;
  std::deque<std::string> m_entries;
};

}  // namespace qvx::sim
