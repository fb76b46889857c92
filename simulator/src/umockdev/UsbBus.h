// The root hub of a umockdev testbed: the testbed directory that the
// clients' UMOCKDEV_DIR names, its uevents, and the device numbers the bus
// hands out. Several emulated devices can hang on one bus, so that one
// host process sees them all. Thread-safe.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "usb/UeventSender.h"

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace qvx::sim::usb {

class UsbBus {
 public:
  // Throws std::runtime_error when the testbed cannot be made.
  UsbBus();
  // Removes the testbed directory.
  ~UsbBus();
  UsbBus(const UsbBus&) = delete;
  UsbBus& operator=(const UsbBus&) = delete;

  const std::string& RootDir() const { return m_root; }
  // The next free device number (the root hub has 1), as after a plug.
  int NextDeviceNumber();
  // Adds sysfs entries in umockdev's record format.
  void Add(const std::string& record);
  // Attaches `handler` to answer the ioctls on `node`, or detaches it (null).
  void Attach(const std::string& node, void* handler);
  void Detach(const std::string& node);
  void RemoveDevice(const std::string& syspath);
  void SetAttribute(const std::string& syspath, const std::string& name, const std::string& value);
  // Returns how many monitors took the event.
  int Announce(const Uevent& event);

 private:
  std::mutex m_mutex;  // the testbed and the members below
  UMockdevTestbed* m_testbed = nullptr;
  std::string m_root;
  std::unique_ptr<UeventSender> m_uevents;
  int m_lastDeviceNumber = 1;
};

}  // namespace qvx::sim::usb
