// Hotplug events for the processes that watch an emulated device tree: each
// udev monitor opened under umockdev's preload listens on a datagram socket
// ROOT/eventN, and takes messages in udev's own monitor format (a "libudev"
// header with the subsystem and devtype hashes its socket filter checks,
// then NUL-separated properties). The sender needs no view of the tree, so
// it works from a process that runs without the preload.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvx::sim::usb {

struct Uevent {
  std::string action;     // "add", "remove"
  std::string devpath;    // below /sys, e.g. "/devices/.../1-1"
  std::string subsystem;  // "usb"
  std::string devtype;    // "usb_device", "usb_interface"; may be empty
  std::string devname;    // "/dev/bus/usb/001/002"; may be empty
};

// The hash udev's monitor filter compares (MurmurHash2 with the length as seed).
std::uint32_t UdevStringHash(const std::string& text);

// The datagram a udev monitor receives for `event`, `seqnum` its sequence number.
std::vector<std::uint8_t> UeventMessage(const Uevent& event, std::uint64_t seqnum);

class UeventSender {
 public:
  explicit UeventSender(std::string root) : m_root(std::move(root)) {}
  // Sends to every listener; removes the sockets of listeners that have
  // gone. Returns how many took the event.
  int Send(const Uevent& event);

 private:
  std::string m_root;
  std::uint64_t m_seqnum = 1;
};

}  // namespace qvx::sim::usb
