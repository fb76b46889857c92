#include "umockdev/UsbBus.h"

#include <umockdev.h>

#include <stdexcept>

namespace qvx::sim::usb {

UsbBus::UsbBus() {
  m_testbed = umockdev_testbed_new();
  if (m_testbed == nullptr) throw std::runtime_error("umockdev: no testbed");
  gchar* root = umockdev_testbed_get_root_dir(m_testbed);
  m_root = root;
  g_free(root);
  m_uevents = std::make_unique<UeventSender>(m_root);
}

UsbBus::~UsbBus() { g_clear_object(&m_testbed); }

int UsbBus::NextDeviceNumber() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return ++m_lastDeviceNumber;
}

void UsbBus::Add(const std::string& record) {
  std::lock_guard<std::mutex> lock(m_mutex);
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(m_testbed, record.c_str(), &error)) {
    const std::string message = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    throw std::runtime_error("umockdev: cannot add device: " + message);
  }
}

void UsbBus::Attach(const std::string& node, void* handler) {
  std::lock_guard<std::mutex> lock(m_mutex);
  GError* error = nullptr;
  if (!umockdev_testbed_attach_ioctl(m_testbed, node.c_str(),
                                     static_cast<UMockdevIoctlBase*>(handler), &error)) {
    const std::string message = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    throw std::runtime_error("umockdev: cannot attach to " + node + ": " + message);
  }
}

void UsbBus::Detach(const std::string& node) {
  std::lock_guard<std::mutex> lock(m_mutex);
  umockdev_testbed_detach_ioctl(m_testbed, node.c_str(), nullptr);
}

void UsbBus::RemoveDevice(const std::string& syspath) {
  std::lock_guard<std::mutex> lock(m_mutex);
  umockdev_testbed_remove_device(m_testbed, syspath.c_str());
}

void UsbBus::SetAttribute(const std::string& syspath, const std::string& name,
                          const std::string& value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  umockdev_testbed_set_attribute(m_testbed, syspath.c_str(), name.c_str(), value.c_str());
}

int UsbBus::Announce(const Uevent& event) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_uevents->Send(event);
}

}  // namespace qvx::sim::usb
