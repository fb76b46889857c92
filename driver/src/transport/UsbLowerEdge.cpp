#include "transport/UsbLowerEdge.h"

#include <libusb.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "kernel/DebugPrint.h"

namespace qvxrdr {

namespace {

bool ParseUnsigned(const std::string& text, int base, unsigned long max, unsigned long& value) {
  if (text.empty() || text.size() > 8) {
    return false;
  }
  char* end = nullptr;
  value = std::strtoul(text.c_str(), &end, base);
  return end == text.c_str() + text.size() && value <= max;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) {
      return parts;
    }
    start = end + 1;
  }
}

struct ContextDeleter {
  void operator()(libusb_context* context) const { libusb_exit(context); }
};
struct HandleDeleter {
  void operator()(libusb_device_handle* handle) const { libusb_close(handle); }
};
struct TransferDeleter {
  void operator()(libusb_transfer* transfer) const { libusb_free_transfer(transfer); }
};
struct DeviceListDeleter {
  void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
struct ConfigDeleter {
  void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};
using ContextPtr = std::unique_ptr<libusb_context, ContextDeleter>;
using HandlePtr = std::unique_ptr<libusb_device_handle, HandleDeleter>;
using TransferPtr = std::unique_ptr<libusb_transfer, TransferDeleter>;

NTSTATUS FromTransferStatus(const libusb_transfer& transfer) {
  switch (transfer.status) {
    case LIBUSB_TRANSFER_COMPLETED:
      // No short transfers: every transfer is one whole packet.
      return transfer.actual_length == static_cast<int>(kPacketSize) ? STATUS_SUCCESS
                                                                     : STATUS_UNSUCCESSFUL;
    case LIBUSB_TRANSFER_CANCELLED:
      return STATUS_CANCELLED;
    case LIBUSB_TRANSFER_NO_DEVICE:
      return STATUS_DEVICE_REMOVED;
    default:
      return STATUS_UNSUCCESSFUL;
  }
}

struct Pipe {
  unsigned char address = 0;
  unsigned char type = LIBUSB_TRANSFER_TYPE_INTERRUPT;
};

class UsbLowerEdge final : public ILowerEdge {
 public:
  UsbLowerEdge(ContextPtr context, HandlePtr handle, UsbDescriptors descriptors, Pipe in, Pipe out)
      : context_(std::move(context)),
        handle_(std::move(handle)),
        descriptors_(std::move(descriptors)),
        in_(in),
        out_(out) {
    thread_ = std::thread([this] { Run(); });
  }

  ~UsbLowerEdge() override {
    AbortPipes();
    {
      // Transfers must come back before the handle and context go.
      std::unique_lock<std::mutex> lock(mutex_);
      idle_.wait(lock, [this] { return inFlight_ == 0; });
    }
    stop_.store(true);
    libusb_interrupt_event_handler(context_.get());
    thread_.join();
    libusb_release_interface(handle_.get(), 0);
  }

  UsbLowerEdge(const UsbLowerEdge&) = delete;
  UsbLowerEdge& operator=(const UsbLowerEdge&) = delete;

  NTSTATUS ReadDescriptors(UsbDescriptors& descriptors) override {
    descriptors = descriptors_;
    return STATUS_SUCCESS;
  }

  NTSTATUS SubmitOut(const Packet& packet, OutCompletion completion) override {
    auto transfer = std::make_unique<Transfer>();
    transfer->buffer = packet;
    transfer->out = std::move(completion);
    std::lock_guard<std::mutex> guard(mutex_);
    if (aborted_) {
      return STATUS_INVALID_DEVICE_STATE;
    }
    return Submit(std::move(transfer), out_);
  }

  NTSTATUS SubmitIn(InCompletion completion) override {
    auto transfer = std::make_unique<Transfer>();
    transfer->in = std::move(completion);
    transfer->isIn = true;
    std::lock_guard<std::mutex> guard(mutex_);
    if (aborted_ || inTransfer_ != nullptr) {
      return STATUS_INVALID_DEVICE_STATE;
    }
    return Submit(std::move(transfer), in_);
  }

  void CancelIn() override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (inTransfer_ != nullptr) {
      libusb_cancel_transfer(inTransfer_);
    }
  }

  void AbortPipes() override {
    std::lock_guard<std::mutex> guard(mutex_);
    aborted_ = true;
    if (inTransfer_ != nullptr) {
      libusb_cancel_transfer(inTransfer_);
    }
    for (libusb_transfer* transfer : outTransfers_) {
      libusb_cancel_transfer(transfer);
    }
  }

 private:
  struct Transfer {
    UsbLowerEdge* edge = nullptr;
    Packet buffer{};
    bool isIn = false;
    OutCompletion out;
    InCompletion in;
    TransferPtr usb;
  };

  // Called with mutex_ held.
  NTSTATUS Submit(std::unique_ptr<Transfer> transfer, Pipe pipe) {
    transfer->edge = this;
    transfer->usb.reset(libusb_alloc_transfer(0));
    if (!transfer->usb) {
      return STATUS_INSUFFICIENT_RESOURCES;
    }
    libusb_transfer* usb = transfer->usb.get();
    usb->dev_handle = handle_.get();
    usb->endpoint = pipe.address;
    usb->type = pipe.type;
    usb->timeout = 0;
    usb->buffer = transfer->buffer.data();
    usb->length = static_cast<int>(kPacketSize);
    usb->callback = &UsbLowerEdge::OnTransfer;
    usb->user_data = transfer.get();
    const int result = libusb_submit_transfer(usb);
    if (result != LIBUSB_SUCCESS) {
      if (result == LIBUSB_ERROR_NO_DEVICE && !transfer->isIn) {
        // A pulled device fails the write the same way a failed transfer does.
        OutCompletion completion = std::move(transfer->out);
        completion(STATUS_DEVICE_REMOVED);
        return STATUS_SUCCESS;
      }
      return result == LIBUSB_ERROR_NO_DEVICE ? STATUS_DEVICE_REMOVED : STATUS_UNSUCCESSFUL;
    }
    if (transfer->isIn) {
      inTransfer_ = usb;
    } else {
      outTransfers_.insert(usb);
    }
    ++inFlight_;
    transfer.release();  // owned by the callback from here on
    return STATUS_SUCCESS;
  }

  static void LIBUSB_CALL OnTransfer(libusb_transfer* usb) {
    std::unique_ptr<Transfer> transfer(static_cast<Transfer*>(usb->user_data));
    UsbLowerEdge& edge = *transfer->edge;
    const NTSTATUS status = FromTransferStatus(*usb);
    {
      std::lock_guard<std::mutex> guard(edge.mutex_);
      if (transfer->isIn) {
        edge.inTransfer_ = nullptr;
      } else {
        edge.outTransfers_.erase(usb);
      }
    }
    if (transfer->isIn) {
      transfer->in(status, transfer->buffer);
    } else {
      transfer->out(status);
    }
    transfer.reset();
    std::lock_guard<std::mutex> guard(edge.mutex_);
    if (--edge.inFlight_ == 0) {
      edge.idle_.notify_all();
    }
  }

  void Run() {
    while (!stop_.load()) {
      timeval timeout{1, 0};
      libusb_handle_events_timeout_completed(context_.get(), &timeout, nullptr);
    }
  }

  ContextPtr context_;
  HandlePtr handle_;
  const UsbDescriptors descriptors_;
  const Pipe in_;
  const Pipe out_;

  std::mutex mutex_;
  std::condition_variable idle_;
  libusb_transfer* inTransfer_ = nullptr;
  std::set<libusb_transfer*> outTransfers_;
  std::size_t inFlight_ = 0;
  bool aborted_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

bool Matches(libusb_device* device, const UsbDeviceAddress& wanted) {
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS ||
      descriptor.idVendor != wanted.vendorId || descriptor.idProduct != wanted.productId) {
    return false;
  }
  return wanted.bus < 0 || (libusb_get_bus_number(device) == wanted.bus &&
                            libusb_get_device_address(device) == wanted.address);
}

}  // namespace

bool ParseUsbDeviceName(const std::string& deviceName, UsbDeviceAddress& address) {
  address = UsbDeviceAddress{};
  const std::vector<std::string> parts = Split(deviceName, ':');
  if (parts.size() < 2 || parts[0] != "usb") {
    return false;
  }
  const std::vector<std::string> ids = Split(parts[1], '/');
  unsigned long vendor = 0;
  unsigned long product = 0;
  if (ids.size() != 2 || !ParseUnsigned(ids[0], 16, 0xFFFF, vendor) ||
      !ParseUnsigned(ids[1], 16, 0xFFFF, product)) {
    return false;
  }
  address.vendorId = static_cast<std::uint16_t>(vendor);
  address.productId = static_cast<std::uint16_t>(product);

  unsigned long bus = 0;
  unsigned long device = 0;
  if (parts.size() == 4 + 1 && parts[2] == "libudev") {
    // usb:VVVV/PPPP:libudev:N:/dev/bus/usb/BBB/DDD
    const std::vector<std::string> path = Split(parts[4], '/');
    if (path.size() >= 2 && ParseUnsigned(path[path.size() - 2], 10, 255, bus) &&
        ParseUnsigned(path.back(), 10, 255, device)) {
      address.bus = static_cast<int>(bus);
      address.address = static_cast<int>(device);
    }
  } else if (parts.size() >= 5 && parts[2] == "libusb-1.0") {
    // usb:VVVV/PPPP:libusb-1.0:B:D:N
    if (ParseUnsigned(parts[3], 10, 255, bus) && ParseUnsigned(parts[4], 10, 255, device)) {
      address.bus = static_cast<int>(bus);
      address.address = static_cast<int>(device);
    }
  }
  return true;
}

std::unique_ptr<ILowerEdge> OpenUsbLowerEdge(const std::string& deviceName) {
  UsbDeviceAddress wanted;
  if (!ParseUsbDeviceName(deviceName, wanted)) {
    return nullptr;
  }
  libusb_context* rawContext = nullptr;
  if (libusb_init(&rawContext) != LIBUSB_SUCCESS) {
    return nullptr;
  }
  ContextPtr context(rawContext);

  libusb_device** rawList = nullptr;
  const ssize_t count = libusb_get_device_list(context.get(), &rawList);
  if (count < 0) {
    return nullptr;
  }
  std::unique_ptr<libusb_device*, DeviceListDeleter> list(rawList);
  libusb_device* device = nullptr;
  for (ssize_t i = 0; i < count && device == nullptr; ++i) {
    if (Matches(list.get()[i], wanted)) {
      device = list.get()[i];
    }
  }
  if (device == nullptr) {
    DbgPrint("Meridel: no USB device %04x/%04x", wanted.vendorId, wanted.productId);
    return nullptr;
  }

  libusb_device_handle* rawHandle = nullptr;
  if (libusb_open(device, &rawHandle) != LIBUSB_SUCCESS) {
    return nullptr;
  }
  HandlePtr handle(rawHandle);
  libusb_set_auto_detach_kernel_driver(handle.get(), 1);

  UsbDescriptors descriptors;
  libusb_device_descriptor deviceDescriptor{};
  libusb_config_descriptor* rawConfig = nullptr;
  if (libusb_get_device_descriptor(device, &deviceDescriptor) != LIBUSB_SUCCESS ||
      libusb_get_active_config_descriptor(device, &rawConfig) != LIBUSB_SUCCESS) {
    return nullptr;
  }
  std::unique_ptr<libusb_config_descriptor, ConfigDeleter> config(rawConfig);
  if (config->bNumInterfaces == 0 || config->interface[0].num_altsetting == 0) {
    return nullptr;
  }
  descriptors.vendorId = deviceDescriptor.idVendor;
  descriptors.productId = deviceDescriptor.idProduct;
  descriptors.bcdDevice = deviceDescriptor.bcdDevice;
  Pipe in;
  Pipe out;
  const libusb_interface_descriptor& interface = config->interface[0].altsetting[0];
  for (std::uint8_t i = 0; i < interface.bNumEndpoints; ++i) {
    const libusb_endpoint_descriptor& endpoint = interface.endpoint[i];
    descriptors.endpoints.push_back({endpoint.bEndpointAddress, endpoint.wMaxPacketSize});
    const unsigned char type = (endpoint.bmAttributes & 0x03u) == LIBUSB_TRANSFER_TYPE_BULK
                                   ? LIBUSB_TRANSFER_TYPE_BULK
                                   : LIBUSB_TRANSFER_TYPE_INTERRUPT;
    ((endpoint.bEndpointAddress & 0x80u) != 0 ? in : out) = Pipe{endpoint.bEndpointAddress, type};
  }
  if (libusb_claim_interface(handle.get(), 0) != LIBUSB_SUCCESS) {
    DbgPrint("Meridel: cannot claim interface 0 of %04x/%04x", wanted.vendorId, wanted.productId);
    return nullptr;
  }
  return std::make_unique<UsbLowerEdge>(std::move(context), std::move(handle), std::move(descriptors),
                                        in, out);
}

}  // namespace qvxrdr
