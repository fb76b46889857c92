#include "umockdev/EmulatedDevice.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "usb/Descriptors.h"

namespace qvx::sim::usb {
namespace {

constexpr const char* kParent = "/devices/pci0000:00/0000:00:14.0/usb1";

std::string Hex(const Bytes& bytes) {
  std::string out;
  char two[3];
  for (const std::uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

std::string Dec3(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%03d", value);
  return text;
}

// A sysfs attribute line of umockdev's record format (values end in a newline, as in sysfs).
std::string Attribute(const std::string& name, const std::string& value) {
  return "A: " + name + "=" + value + "\\n\n";
}

// The client's memory behind `data`, resolved and owned by the caller.
UMockdevIoctlData* Resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length) {
  return umockdev_ioctl_data_resolve(data, offset, length, nullptr);
}

}  // namespace

EmulatedDevice::EmulatedDevice(const UsbOptions& options, UrbPipes& pipes,
                               std::function<void()> wake, std::shared_ptr<UsbBus> bus)
    : m_options(options),
      m_pipes(pipes),
      m_wake(std::move(wake)),
      m_bus(bus ? std::move(bus) : std::make_shared<UsbBus>()) {
  if (m_options.unconfigured) m_state.configuration = 0;
  m_handler = umockdev_ioctl_base_new();
  g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(&EmulatedDevice::OnIoctl), this);
  g_signal_connect(m_handler, "client-connected", G_CALLBACK(&EmulatedDevice::OnConnected), this);
  m_clients->device = this;
}

EmulatedDevice::~EmulatedDevice() {
  {
    // A client that goes later finds no device to tell.
    std::lock_guard<std::mutex> lock(m_clients->mutex);
    m_clients->device = nullptr;
  }
  if (!m_deviceSyspath.empty()) Remove();
  g_clear_object(&m_handler);
  for (auto& [key, submitted] : m_submitted) {
    g_clear_object(&submitted.urb);
    g_clear_object(&submitted.buffer);
  }
}

std::string EmulatedDevice::DevNode() const { return "/dev/bus/usb/001/" + Dec3(m_devnum); }

void EmulatedDevice::Add() {
  if (!m_deviceSyspath.empty()) return;
  m_devnum = m_bus->NextDeviceNumber();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state = DeviceState{};
    if (m_options.unconfigured) m_state.configuration = 0;
  }
  const Identity& id = m_options.identity;
  const std::string node = DevNode();
  // The handler first, so the device can be opened the moment its uevent arrives.
  m_bus->Attach(node, m_handler);
  const std::string port = "1-" + std::to_string(m_options.port);
  const std::string device = std::string(kParent) + "/" + port;
  char product[32];  // udev's PRODUCT: hexadecimal without leading zeros
  std::snprintf(product, sizeof product, "%x/%x/%x", id.vendorId, id.productId, id.bcdDevice);
  std::string record = "P: " + device + "\nN: " + node.substr(5) + "\n";
  record += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n";
  record += "E: DEVNAME=" + node + "\nE: BUSNUM=001\nE: DEVNUM=" + Dec3(m_devnum) + "\n";
  record += "E: PRODUCT=" + std::string(product) + "\n";
  record += Attribute("busnum", "1") + Attribute("devnum", std::to_string(m_devnum));
  record += Attribute("devpath", std::to_string(m_options.port)) + Attribute("speed", "12");
  record += Attribute("idVendor", Hex4(id.vendorId)) + Attribute("idProduct", Hex4(id.productId));
  record += Attribute("bcdDevice", Hex4(id.bcdDevice));
  record += Attribute("bDeviceClass", "00") + Attribute("bMaxPacketSize0", "64");
  record += Attribute("bNumConfigurations", "1") + Attribute("bNumInterfaces", " 1");
  // The kernel's file is empty, without a newline, while no configuration is
  // selected; libusb reads a lone newline as a broken attribute.
  record += m_options.unconfigured ? std::string("A: bConfigurationValue=\n")
                                   : Attribute("bConfigurationValue", "1");
  if (!id.manufacturer.empty()) record += Attribute("manufacturer", id.manufacturer);
  if (!id.product.empty()) record += Attribute("product", id.product);
  if (!id.serial.empty()) record += Attribute("serial", id.serial);
  record += "H: descriptors=" + Hex(DeviceDescriptor(id)) + Hex(ConfigurationDescriptor(id)) + "\n";
  m_bus->Add(record);
  m_deviceSyspath = "/sys" + device;
  {
    std::lock_guard<std::mutex> lock(m_nodeMutex);
    m_node = std::make_unique<PollableNode>(m_bus->RootDir() + node);
  }

  // The interface last: pcscd's hotplug looks for interfaces.
  const std::string interface = device + "/" + port + ":1.0";
  std::string child = "P: " + interface + "\n";
  child += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: INTERFACE=255/0/0\n";
  child += "E: PRODUCT=" + std::string(product) + "\n";
  child += Attribute("bInterfaceNumber", "00") + Attribute("bAlternateSetting", " 0");
  child += Attribute("bInterfaceClass", "ff") + Attribute("bInterfaceSubClass", "00");
  child += Attribute("bInterfaceProtocol", "00") + Attribute("bNumEndpoints", "02");
  if (!id.interfaceName.empty()) child += Attribute("interface", id.interfaceName);
  m_bus->Add(child);
  m_interfaceSyspath = "/sys" + interface;
  Announce("add", m_deviceSyspath, "usb_device", node);
  Announce("add", m_interfaceSyspath, "usb_interface", "");
  Event("plugged in as " + node + " (" + Hex4(id.vendorId) + ":" + Hex4(id.productId) + ")");
}

void EmulatedDevice::Remove() {
  if (m_deviceSyspath.empty()) return;
  // The interface goes first, as when the kernel tears a device down.
  Announce("remove", m_interfaceSyspath, "usb_interface", "");
  Announce("remove", m_deviceSyspath, "usb_device", DevNode());
  m_bus->Detach(DevNode());
  m_bus->RemoveDevice(m_interfaceSyspath);
  m_bus->RemoveDevice(m_deviceSyspath);
  m_deviceSyspath.clear();
  m_interfaceSyspath.clear();
  {
    std::lock_guard<std::mutex> lock(m_nodeMutex);
    m_node.reset();  // leaves the old node ready for those who still hold it
  }
  Event("unplugged");
}

void EmulatedDevice::Refresh() {
  std::lock_guard<std::mutex> lock(m_nodeMutex);
  if (m_node) m_node->SetReady(m_pipes.AnyDone());
}

// umockdev's own uevent emulation looks the device up in this process's
// view of /sys, which is the machine's: the events are built here instead.
void EmulatedDevice::Announce(const char* action, const std::string& syspath, const char* devtype,
                              const std::string& devname) {
  const int reached = m_bus->Announce(Uevent{action, syspath.substr(4), "usb", devtype, devname});
  Event(std::string(action) + " " + devtype + " uevent to " + std::to_string(reached) +
        " monitor(s)");
}

std::vector<std::string> EmulatedDevice::TakeEvents() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return std::exchange(m_events, {});
}

void EmulatedDevice::Event(std::string text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_events.push_back("usb: " + std::move(text));
}

int EmulatedDevice::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
  auto& device = *static_cast<EmulatedDevice*>(self);
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  const auto [result, error] =
      device.Handle(device.OwnerOf(client), request, umockdev_ioctl_client_get_arg(client));
  // Readiness first, so a client that reaped the last URB finds the node
  // no longer writable when it polls again.
  device.Refresh();
  umockdev_ioctl_client_complete(client, result, error);
  device.m_wake();
  return TRUE;
}

struct EmulatedDevice::Watch {
  std::shared_ptr<Clients> clients;
  UMockdevIoctlClient* client;
  Owner owner;
};

void EmulatedDevice::OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
  auto& device = *static_cast<EmulatedDevice*>(self);
  Owner owner = 0;
  {
    std::lock_guard<std::mutex> lock(device.m_clients->mutex);
    owner = device.m_clients->next++;
    device.m_clients->owners[client] = owner;
  }
  // umockdev drops its client once the connection closed: that is the
  // moment the device node was closed (or its process died).
  g_object_weak_ref(G_OBJECT(client), &EmulatedDevice::OnClientGone,
                    new Watch{device.m_clients, client, owner});
  device.m_pipes.Opened(owner);
}

void EmulatedDevice::OnClientGone(void* data, GObject*) {
  const std::unique_ptr<Watch> watch(static_cast<Watch*>(data));
  std::lock_guard<std::mutex> lock(watch->clients->mutex);
  const auto it = watch->clients->owners.find(watch->client);
  if (it != watch->clients->owners.end() && it->second == watch->owner)
    watch->clients->owners.erase(it);
  if (watch->clients->device != nullptr) watch->clients->device->ClientGone(watch->owner);
}

int EmulatedDevice::OpenClients() const {
  std::lock_guard<std::mutex> lock(m_clients->mutex);
  return static_cast<int>(m_clients->owners.size());
}

Owner EmulatedDevice::OwnerOf(UMockdevIoctlClient* client) {
  std::lock_guard<std::mutex> lock(m_clients->mutex);
  const auto it = m_clients->owners.find(client);
  return it == m_clients->owners.end() ? 0 : it->second;
}

void EmulatedDevice::ClientGone(Owner owner) {
  m_pipes.Vanished(owner);
  Forget(owner);
  Refresh();
  m_wake();
}

void EmulatedDevice::Forget(Owner owner) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto it = m_submitted.begin(); it != m_submitted.end();) {
    if (it->first.first == owner) {
      g_clear_object(&it->second.urb);
      g_clear_object(&it->second.buffer);
      it = m_submitted.erase(it);
    } else {
      ++it;
    }
  }
}

std::pair<long, int> EmulatedDevice::Handle(Owner owner, unsigned long request,
                                            UMockdevIoctlData* arg) {
  auto answer = [](int error) { return std::pair<long, int>{error == 0 ? 0 : -1, error}; };
  auto unsignedArg = [arg](std::size_t size) -> unsigned {
    UMockdevIoctlData* data = Resolve(arg, 0, size);
    unsigned value = 0;
    if (data != nullptr) std::memcpy(&value, data->data, sizeof value);
    g_clear_object(&data);
    return value;
  };
  if (owner == 0) return answer(ENODEV);  // connected before this device was there
  if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) return Reap(owner, arg);
  if (m_pipes.Gone(owner)) return answer(ENODEV);
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* data = Resolve(arg, 0, sizeof(std::uint32_t));
      if (data == nullptr) return answer(EFAULT);
      const std::uint32_t capabilities = USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
      std::memcpy(data->data, &capabilities, sizeof capabilities);
      g_clear_object(&data);
      return answer(0);
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM: {  // the interface number comes first in both
      const unsigned interface = unsignedArg(sizeof(unsigned));
      bool configured = false;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        configured = m_state.configuration != 0;
      }
      return answer(configured ? m_pipes.Claim(owner, interface) : ENOENT);
    }
    case USBDEVFS_RELEASEINTERFACE:
      return answer(m_pipes.Release(owner, unsignedArg(sizeof(unsigned))));
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
      return answer(ENODATA);  // no kernel driver is bound to the interface
    case USBDEVFS_SETCONFIGURATION:
      return SetConfiguration(owner, unsignedArg(sizeof(int)));
    case USBDEVFS_SETINTERFACE: {
      UMockdevIoctlData* data = Resolve(arg, 0, sizeof(usbdevfs_setinterface));
      if (data == nullptr) return answer(EFAULT);
      usbdevfs_setinterface value{};
      std::memcpy(&value, data->data, sizeof value);
      g_clear_object(&data);
      return answer(value.interface == kInterfaceNumber && value.altsetting == 0 ? 0 : EINVAL);
    }
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP: {
      const unsigned endpoint = unsignedArg(sizeof(unsigned));
      if (endpoint != kEndpointIn && endpoint != kEndpointOut) return answer(ENOENT);
      std::lock_guard<std::mutex> lock(m_mutex);
      (endpoint == kEndpointIn ? m_state.inHalted : m_state.outHalted) = false;
      return answer(0);
    }
    case USBDEVFS_RESET:
      return answer(0);
    case USBDEVFS_SUBMITURB:
      return Submit(owner, arg);
    case USBDEVFS_DISCARDURB: {
      UrbAddress urb = 0;
      std::memcpy(&urb, arg->data,
                  std::min<std::size_t>(sizeof urb, static_cast<std::size_t>(arg->data_len)));
      return answer(m_pipes.Discard(owner, urb));
    }
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "unanswered ioctl 0x%lx", request);
      Event(text);
      return answer(ENOTTY);
    }
  }
}

std::pair<long, int> EmulatedDevice::SetConfiguration(Owner owner, unsigned value) {
  if (value != 0 && value != kConfigurationValue) return {-1, EINVAL};
  if (m_pipes.Claimed()) return {-1, EBUSY};  // usbdevfs refuses while an interface is claimed
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state = DeviceState{};
    m_state.configuration = static_cast<std::uint8_t>(value);
  }
  (void)owner;
  m_bus->SetAttribute(m_deviceSyspath, "bConfigurationValue",
                      value == 0 ? "" : std::to_string(value));
  Event("configuration " + std::to_string(value));
  return {0, 0};
}

std::pair<long, int> EmulatedDevice::Submit(Owner owner, UMockdevIoctlData* arg) {
  UMockdevIoctlData* urbData = Resolve(arg, 0, sizeof(usbdevfs_urb));
  if (urbData == nullptr) return {-1, EFAULT};
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  const UrbAddress address = urbData->client_addr;
  if (urb->buffer_length < 0 || urb->buffer_length > 4096) {
    g_clear_object(&urbData);
    return {-1, EINVAL};
  }
  UMockdevIoctlData* buffer = nullptr;
  if (urb->buffer_length > 0) {
    buffer = Resolve(urbData, offsetof(usbdevfs_urb, buffer),
                     static_cast<std::size_t>(urb->buffer_length));
    if (buffer == nullptr) {
      g_clear_object(&urbData);
      return {-1, EFAULT};
    }
  }
  int error = 0;
  if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
    if (urb->buffer_length < 8) {
      error = EINVAL;
    } else {
      const Setup setup = ParseSetup(buffer->data);
      ControlAnswer reply;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        const std::uint8_t before = m_state.configuration;
        reply = AnswerStandard(setup, m_options.identity, m_state);
        if (m_state.configuration != before)
          Event("configuration " + std::to_string(m_state.configuration));
      }
      const std::size_t room = static_cast<std::size_t>(urb->buffer_length) - 8;
      const std::size_t length = std::min(room, reply.data.size());
      if (length > 0) std::memcpy(buffer->data + 8, reply.data.data(), length);
      error = m_pipes.SubmitDone(
          owner, Completion{address, reply.stall ? -EPIPE : 0, static_cast<int>(length), {}});
    }
  } else if (urb->type == USBDEVFS_URB_TYPE_INTERRUPT || urb->type == USBDEVFS_URB_TYPE_BULK) {
    // usbdevfs sends a bulk URB on an interrupt endpoint as an interrupt transfer.
    const bool in = (urb->endpoint & 0x80) != 0;
    if (!in && urb->buffer_length != static_cast<int>(kPacketSize)) {
      Event("OUT transfer of " + std::to_string(urb->buffer_length) +
            " bytes: the device takes 8-byte packets");
      error = m_pipes.SubmitDone(owner, Completion{address, 0, urb->buffer_length, {}});
    } else {
      Packet out{};
      if (!in) std::memcpy(out.data(), buffer->data, kPacketSize);
      error = m_pipes.SubmitInterrupt(owner, address, urb->endpoint, urb->buffer_length,
                                      in ? nullptr : &out);
    }
  } else {
    error = EINVAL;  // no isochronous endpoints
  }
  if (error != 0) {
    g_clear_object(&buffer);
    g_clear_object(&urbData);
    return {-1, error};
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  Submitted& slot = m_submitted[Key{owner, address}];
  g_clear_object(&slot.urb);
  g_clear_object(&slot.buffer);
  slot = Submitted{urbData, buffer};
  return {0, 0};
}

std::pair<long, int> EmulatedDevice::Reap(Owner owner, UMockdevIoctlData* arg) {
  Completion done;
  // Reaping never blocks here: a blocking REAPURB is answered like REAPURBNDELAY.
  if (const int error = m_pipes.Reap(owner, done)) return {-1, error};
  Submitted submitted;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_submitted.find(Key{owner, done.urb});
    if (it == m_submitted.end()) return {-1, EAGAIN};
    submitted = it->second;
    m_submitted.erase(it);
  }
  auto* urb = reinterpret_cast<usbdevfs_urb*>(submitted.urb->data);
  urb->status = done.status;
  urb->actual_length = done.actualLength;
  if (done.in && submitted.buffer != nullptr) {
    if (urb->buffer_length < static_cast<int>(kPacketSize)) {
      urb->status = -EOVERFLOW;  // the packet does not fit the buffer: babble
      urb->actual_length = 0;
    } else {
      std::memcpy(submitted.buffer->data, done.in->data(), kPacketSize);
    }
  }
  UMockdevIoctlData* pointer = Resolve(arg, 0, sizeof(void*));
  if (pointer != nullptr) umockdev_ioctl_data_set_ptr(pointer, 0, submitted.urb);
  g_clear_object(&pointer);
  g_clear_object(&submitted.buffer);
  g_clear_object(&submitted.urb);
  return {0, 0};
}

}  // namespace qvx::sim::usb
