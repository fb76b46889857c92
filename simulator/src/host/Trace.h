// The most recent packets on the cable, both directions, in a bounded ring.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "device/Packet.h"

namespace qvx::sim {

class Trace {
 public:
  explicit Trace(std::size_t capacity = 256) : capacity_(capacity) {}

  void HostToDevice(const Packet& packet) { Add('>', packet); }
  void DeviceToHost(const Packet& packet) { Add('<', packet); }
  void Clear() { entries_.clear(); }
  // ">01 03 02 00 00 00 00 00 <01 03 05 06 00 00 00 00", oldest first.
  std::string Text() const;

 private:
  void Add(char direction, const Packet& packet);

  std::size_t capacity_;
  std::deque<std::string> entries_;
};

}  // namespace qvx::sim
