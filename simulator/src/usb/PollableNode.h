// An emulated device node whose poll readiness the emulation controls. On
// usbfs, POLLOUT on the device node tells libusb that finished URBs wait to
// be reaped; a plain file is always ready, so libusb's event thread would
// never sleep. The node is a FIFO that this object holds open as well: kept
// full, it does not poll writable; emptied, it does. Every opener shares
// the readiness, which suits a node with one client at a time.
#pragma once

#include <mutex>
#include <string>

#include "platform/posix/UniqueFd.h"

namespace qvx::sim::usb {

using platform::UniqueFd;

class PollableNode {
 public:
  // Replaces whatever is at `path` with the FIFO; not ready. Throws
  // std::system_error.
  explicit PollableNode(const std::string& path);
  // Leaves the node ready, so clients that still hold it reap what is left
  // (and learn that the device is gone) instead of sleeping for ever.
  ~PollableNode();
  PollableNode(const PollableNode&) = delete;
  PollableNode& operator=(const PollableNode&) = delete;

  void SetReady(bool ready);
  bool Ready() const;

 private:
  mutable std::mutex m_mutex;
  UniqueFd m_fd;
  bool m_ready = false;
};

}  // namespace qvx::sim::usb
