// The Quorvex2 in a umockdev testbed: sysfs entries that libudev and libusb
// enumerate, a device node, and the usbdevfs ioctls on that node answered
// here (in umockdev's worker thread) and handed to UrbPipes. Processes that
// run with umockdev's preload and UMOCKDEV_DIR set to RootDir() see it as
// a USB device; Add and Remove reach their udev monitors as uevents.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "usb/PollableNode.h"
#include "usb/StandardRequests.h"
#include "umockdev/UsbBus.h"
#include "usb/UrbPipes.h"
#include "usb/UsbOptions.h"

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;
typedef struct _GObject GObject;

namespace qvx::sim::usb {

class EmulatedDevice {
 public:
  // `wake` is called (from the worker thread) whenever the pipes changed.
  // The device hangs on `bus` at options.port; without a bus, on one of its
  // own. Throws std::runtime_error when the testbed cannot be built.
  EmulatedDevice(const UsbOptions& options, UrbPipes& pipes, std::function<void()> wake,
                 std::shared_ptr<UsbBus> bus = nullptr);
  ~EmulatedDevice();
  EmulatedDevice(const EmulatedDevice&) = delete;
  EmulatedDevice& operator=(const EmulatedDevice&) = delete;

  std::string RootDir() const { return m_bus->RootDir(); }
  std::string DevNode() const;
  // Plugs the device in under the next device number.
  void Add();
  void Remove();
  std::vector<std::string> TakeEvents();
  // How many clients have the device node open (also one left from before
  // an unplug, until it closes its file).
  int OpenClients() const;
  // Makes the device node poll writable exactly while finished URBs wait;
  // call after anything that may have finished or reaped one.
  void Refresh();

 private:
  struct Submitted {
    UMockdevIoctlData* urb = nullptr;
    UMockdevIoctlData* buffer = nullptr;
  };
  using Key = std::pair<Owner, UrbAddress>;
  // The clients that have the device node open, each under a number of its
  // own. umockdev 0.17 never emits client-vanished: a client is gone when
  // its object is, and the next client may be given the same address, so
  // the address is no name for it. Shared with the weak references, which
  // may outlive the device.
  struct Clients {
    std::mutex mutex;  // the members below
    EmulatedDevice* device = nullptr;
    std::map<UMockdevIoctlClient*, Owner> owners;
    Owner next = 1;
  };
  struct Watch;

  static int OnIoctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, void* self);
  static void OnConnected(UMockdevIoctlBase* base, UMockdevIoctlClient* client, void* self);
  static void OnClientGone(void* watch, GObject* client);
  // 0 for a client this device never saw connect (no owner has 0).
  Owner OwnerOf(UMockdevIoctlClient* client);
  void ClientGone(Owner owner);
  // The result of one ioctl: the return value and errno.
  std::pair<long, int> Handle(Owner owner, unsigned long request, UMockdevIoctlData* arg);
  std::pair<long, int> Submit(Owner owner, UMockdevIoctlData* arg);
  std::pair<long, int> Reap(Owner owner, UMockdevIoctlData* arg);
  std::pair<long, int> SetConfiguration(Owner owner, unsigned value);
  void Forget(Owner owner);
  void Event(std::string text);
  void Announce(const char* action, const std::string& syspath, const char* devtype,
                const std::string& devname);

  UsbOptions m_options;
  UrbPipes& m_pipes;
  std::function<void()> m_wake;
  std::shared_ptr<UsbBus> m_bus;
  UMockdevIoctlBase* m_handler = nullptr;
  int m_devnum = 0;  // 0 before the first plug
  std::string m_deviceSyspath;
  std::string m_interfaceSyspath;
  std::shared_ptr<Clients> m_clients = std::make_shared<Clients>();

  std::mutex m_nodeMutex;  // m_node, and that its readiness follows the pipes
  std::unique_ptr<PollableNode> m_node;

  std::mutex m_mutex;  // the members below
  DeviceState m_state;
  std::map<Key, Submitted> m_submitted;
  std::vector<std::string> m_events;
};

}  // namespace qvx::sim::usb
