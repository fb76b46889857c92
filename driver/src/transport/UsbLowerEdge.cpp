#include "transport/UsbLowerEdge.h"

#include <libusb.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "kernel/DebugPrint.h"
#include "transport/UsbCompletionPolicy.h"
#include "transport/UsbDescriptorChoice.h"

namespace qvx::driver {

namespace {

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
using ConfigPtr = std::unique_ptr<libusb_config_descriptor, ConfigDeleter>;

struct Pipe {
  unsigned char address = 0;
  unsigned char type = LIBUSB_TRANSFER_TYPE_INTERRUPT;
};

Pipe PipeOf(const EndpointDescription& endpoint) {
  const bool bulk = (endpoint.attributes & 0x03u) == LIBUSB_TRANSFER_TYPE_BULK;
  return Pipe{endpoint.address, static_cast<unsigned char>(bulk ? LIBUSB_TRANSFER_TYPE_BULK
                                                                : LIBUSB_TRANSFER_TYPE_INTERRUPT)};
}

NTSTATUS FromSubmitError(int result) {
  return result == LIBUSB_ERROR_NO_DEVICE ? STATUS_DEVICE_REMOVED : STATUS_UNSUCCESSFUL;
}

// The IN endpoint is kept busy the way USB hosts do: kInQueue transfers
// stay queued, and each goes back to the device the moment its packet is
// handed on, so the device can send a packet every frame while the reader
// of the last one is still waking up. A packet that comes while nobody reads
// waits in its transfer (which then stays off the bus) until the next
// SubmitIn takes it, in the order the device sent them: nothing is lost and
// nothing read ahead exceeds what the queued transfers hold.
class UsbLowerEdge final : public ILowerEdge {
 public:
  static constexpr std::size_t kInQueue = 4;

  UsbLowerEdge(ContextPtr context, HandlePtr handle, int interfaceNumber,
               UsbDescriptors descriptors, Pipe in, Pipe out)
      : m_context(std::move(context)),
        m_handle(std::move(handle)),
        m_interfaceNumber(interfaceNumber),
        m_descriptors(std::move(descriptors)),
        m_in(in),
        m_out(out) {
    for (auto& transfer : m_inPool) {
      transfer = std::make_unique<Transfer>();
      transfer->edge = this;
      transfer->isIn = true;
      // One that cannot be had is left out: fewer transfers read more
      // slowly, and with none a read fails (TopUp).
      transfer->usb.reset(libusb_alloc_transfer(0));
      if (transfer->usb) Prepare(*transfer, m_in);
    }
    m_thread = std::thread([this] { Run(); });
  }

  ~UsbLowerEdge() override {
    AbortPipes();
    {
      // Transfers must come back before the handle and context go.
      std::unique_lock<std::mutex> lock(m_mutex);
      m_idle.wait(lock, [this] { return m_inFlight == 0; });
    }
    m_stop.store(true);
    libusb_interrupt_event_handler(m_context.get());
    m_thread.join();
    for (InCompletion& reader : m_cancelled) {
      reader(STATUS_CANCELLED, Packet{});
    }
    libusb_release_interface(m_handle.get(), m_interfaceNumber);
  }

  UsbLowerEdge(const UsbLowerEdge&) = delete;
  UsbLowerEdge& operator=(const UsbLowerEdge&) = delete;

  NTSTATUS ReadDescriptors(UsbDescriptors& descriptors) override {
    descriptors = m_descriptors;
    return STATUS_SUCCESS;
  }

  NTSTATUS SubmitOut(const Packet& packet, OutCompletion completion) override {
    auto transfer = std::make_unique<Transfer>();
    transfer->edge = this;
    transfer->buffer = packet;
    transfer->out = std::move(completion);
    transfer->usb.reset(libusb_alloc_transfer(0));
    if (!transfer->usb) {
      return STATUS_INSUFFICIENT_RESOURCES;
    }
    Prepare(*transfer, m_out);
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_aborted) {
      return STATUS_INVALID_DEVICE_STATE;
    }
    const int result = libusb_submit_transfer(transfer->usb.get());
    if (result != LIBUSB_SUCCESS) {
      if (result == LIBUSB_ERROR_NO_DEVICE) {
        // A pulled device fails the write the same way a failed transfer does.
        transfer->out(STATUS_DEVICE_REMOVED);
        return STATUS_SUCCESS;
      }
      return FromSubmitError(result);
    }
    m_outTransfers.insert(transfer->usb.get());
    ++m_inFlight;
    static_cast<void>(transfer.release());  // owned by the callback from here on
    return STATUS_SUCCESS;
  }

  NTSTATUS SubmitIn(InCompletion completion) override {
    Packet packet{};
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      if (m_aborted || m_reader) {
        return STATUS_INVALID_DEVICE_STATE;
      }
      m_inCancel = false;
      if (m_ready.empty()) {
        // A failure nobody was reading for ends this read instead.
        if (!NT_SUCCESS(m_inFailure)) {
          return std::exchange(m_inFailure, STATUS_SUCCESS);
        }
        m_reader = std::move(completion);
        const NTSTATUS status = TopUp();
        if (!NT_SUCCESS(status)) {
          m_reader = nullptr;
        }
        return status;
      }
      Transfer* ready = m_ready.front();
      m_ready.pop_front();
      packet = ready->buffer;
      ready->state = InState::Idle;
      static_cast<void>(TopUp());  // on failure the next read tries again and fails
    }
    // Taken from what the device already sent: done before the submit returns.
    completion(STATUS_SUCCESS, packet);
    return STATUS_SUCCESS;
  }

  void CancelIn() override {
    std::lock_guard<std::mutex> guard(m_mutex);
    CancelInLocked();
  }

  void AbortPipes() override {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_aborted = true;
    m_ready.clear();  // the packets of a device that is going away
    for (auto& transfer : m_inPool) {
      if (transfer->state == InState::Ready) transfer->state = InState::Idle;
    }
    CancelInLocked();
    for (libusb_transfer* transfer : m_outTransfers) {
      Cancel(transfer);
    }
  }

 private:
  enum class InState {
    Idle,       // not at the device
    Submitted,  // at the device (or its callback is running)
    Halted,     // waiting for the event thread to clear the pipe's halt
    Ready,      // holds a packet nobody has read yet
  };

  struct Transfer {
    UsbLowerEdge* edge = nullptr;
    Packet buffer{};
    bool isIn = false;
    InState state = InState::Idle;
    OutCompletion out;
    TransferPtr usb;
  };

  static void Prepare(Transfer& transfer, Pipe pipe) {
    libusb_transfer* usb = transfer.usb.get();
    usb->dev_handle = transfer.edge->m_handle.get();
    usb->endpoint = pipe.address;
    usb->type = pipe.type;
    usb->timeout = 0;
    usb->buffer = transfer.buffer.data();
    usb->length = static_cast<int>(kPacketSize);
    usb->callback = &UsbLowerEdge::OnTransfer;
    usb->user_data = &transfer;
  }

  // With m_mutex held. The flag also reaches a transfer that is between two
  // submissions (in its callback, or waiting for its halt to be cleared),
  // which libusb can no longer cancel: it is not sent again.
  void CancelInLocked() {
    m_inCancel = true;
    for (auto& transfer : m_inPool) {
      if (transfer->state == InState::Submitted) Cancel(transfer->usb.get());
    }
    // A reader with no transfer of its own left at the device hears now.
    if (m_reader && !AnyIn(InState::Submitted) && !AnyIn(InState::Halted)) {
      m_cancelled.push_back(std::move(m_reader));
      m_reader = nullptr;
      libusb_interrupt_event_handler(m_context.get());
    }
  }

  bool AnyIn(InState state) const {
    for (const auto& transfer : m_inPool) {
      if (transfer->state == state) return true;
    }
    return false;
  }

  static void Cancel(libusb_transfer* transfer) {
    const int result = libusb_cancel_transfer(transfer);
    // Not found: it is completing already, and its completion reports it.
    if (result != LIBUSB_SUCCESS && result != LIBUSB_ERROR_NOT_FOUND) {
      DbgPrint("Meridel: cancelling the transfer on endpoint %02x failed (%s)",
               static_cast<unsigned>(transfer->endpoint), libusb_error_name(result));
    }
  }

  // With m_mutex held: every idle IN transfer goes to the device. Fails
  // only when none is there afterwards.
  NTSTATUS TopUp() {
    NTSTATUS failure = STATUS_INSUFFICIENT_RESOURCES;
    for (auto& transfer : m_inPool) {
      if (transfer->state != InState::Idle || !transfer->usb) continue;
      const int result = SubmitLocked(*transfer);
      if (result != LIBUSB_SUCCESS) {
        failure = FromSubmitError(result);
        break;
      }
    }
    if (AnyIn(InState::Submitted) || AnyIn(InState::Halted)) {
      return STATUS_SUCCESS;
    }
    return failure;
  }

  // With m_mutex held.
  int SubmitLocked(Transfer& transfer) {
    transfer.usb->actual_length = 0;
    const int result = libusb_submit_transfer(transfer.usb.get());
    if (result == LIBUSB_SUCCESS) {
      transfer.state = InState::Submitted;
      ++m_inFlight;
    }
    return result;
  }

  static void LIBUSB_CALL OnTransfer(libusb_transfer* usb) {
    auto* transfer = static_cast<Transfer*>(usb->user_data);
    UsbLowerEdge& edge = *transfer->edge;
    if (transfer->isIn) {
      edge.OnInDone(*transfer);
    } else {
      edge.OnOutDone(std::unique_ptr<Transfer>(transfer));
    }
  }

  // On the event thread.
  void OnInDone(Transfer& transfer) {
    InCompletion reader;
    NTSTATUS status = STATUS_SUCCESS;
    Packet delivered{};
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      --m_inFlight;
      const libusb_transfer& usb = *transfer.usb;
      const TransferVerdict verdict =
          JudgeInCompletion(usb.status, usb.actual_length, m_inFaults, m_inCancel || m_aborted);
      m_inFaults = verdict.fault ? m_inFaults + 1 : 0;
      if (verdict.fault) {
        DbgPrint("Meridel: IN transfer ended with %s, %d bytes (%u in a row)",
                 libusb_error_name(static_cast<int>(usb.status)), usb.actual_length, m_inFaults);
      }
      status = verdict.status;
      switch (verdict.step) {
        case TransferStep::Resubmit: {
          const int result = SubmitLocked(transfer);
          if (result == LIBUSB_SUCCESS) {
            break;
          }
          transfer.state = InState::Idle;
          reader = Failed(FromSubmitError(result));
          break;
        }
        case TransferStep::ClearHaltThenResubmit:
        case TransferStep::ClearHaltThenComplete:
          // libusb_clear_halt waits for the device: not on the event
          // thread's callback, but in its loop once this returns.
          transfer.state = InState::Halted;
          ++m_inFlight;
          m_halted.push_back({&transfer, verdict.step});
          break;
        case TransferStep::Complete:
          reader = Completed(transfer, status, delivered);
          break;
      }
      NoteIdle();
    }
    if (reader) reader(status, delivered);
  }

  // With m_mutex held: a transfer came back with `status`. Returns the
  // reader to hand it to (outside the lock) with `delivered`, or nothing.
  InCompletion Completed(Transfer& transfer, NTSTATUS status, Packet& delivered) {
    if (NT_SUCCESS(status)) {
      if (m_reader) {
        delivered = transfer.buffer;
        transfer.state = InState::Idle;
        // Back to the device before the reader even wakes.
        if (!m_inCancel && !m_aborted && SubmitLocked(transfer) != LIBUSB_SUCCESS) {
          transfer.state = InState::Idle;
        }
        InCompletion reader = std::move(m_reader);
        m_reader = nullptr;
        return reader;
      }
      transfer.state = InState::Ready;
      m_ready.push_back(&transfer);
      return nullptr;
    }
    transfer.state = InState::Idle;
    if (status == STATUS_CANCELLED) {
      // Cancelled for a reader that has gone since: the new one needs it.
      if (m_reader && !m_inCancel && !m_aborted) {
        const int result = SubmitLocked(transfer);
        if (result == LIBUSB_SUCCESS) return nullptr;
        return Failed(FromSubmitError(result));
      }
      // The reader ends when the last of its transfers has come back.
      if (m_reader && !AnyIn(InState::Submitted) && !AnyIn(InState::Halted)) {
        InCompletion reader = std::move(m_reader);
        m_reader = nullptr;
        return reader;
      }
      return nullptr;
    }
    return Failed(status);
  }

  // With m_mutex held: the IN pipe failed (the device went away, or faults
  // kept coming). The other transfers stop; the reader, or the next one, hears.
  InCompletion Failed(NTSTATUS status) {
    m_inCancel = true;
    for (auto& transfer : m_inPool) {
      if (transfer->state == InState::Submitted) Cancel(transfer->usb.get());
    }
    if (m_reader) {
      InCompletion reader = std::move(m_reader);
      m_reader = nullptr;
      return reader;
    }
    if (NT_SUCCESS(m_inFailure)) m_inFailure = status;
    return nullptr;
  }

  void OnOutDone(std::unique_ptr<Transfer> transfer) {
    const TransferVerdict verdict =
        JudgeOutCompletion(transfer->usb->status, transfer->usb->actual_length);
    if (verdict.step == TransferStep::ClearHaltThenComplete) {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_halted.push_back({transfer.release(), verdict.step});
      return;
    }
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_outTransfers.erase(transfer->usb.get());
    }
    FinishOut(std::move(transfer), verdict.status);
  }

  // Runs the completion, then lets the destructor know when none is left.
  void FinishOut(std::unique_ptr<Transfer> transfer, NTSTATUS status) {
    transfer->out(status);
    transfer.reset();
    std::lock_guard<std::mutex> guard(m_mutex);
    --m_inFlight;
    NoteIdle();
  }

  // With m_mutex held.
  void NoteIdle() {
    if (m_inFlight == 0) {
      m_idle.notify_all();
    }
  }

  // On the event thread, outside event handling.
  void ClearHalts() {
    std::vector<Halted> halted;
    std::vector<InCompletion> cancelled;
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      halted.swap(m_halted);
      cancelled.swap(m_cancelled);
    }
    for (InCompletion& reader : cancelled) {
      reader(STATUS_CANCELLED, Packet{});
    }
    for (Halted& entry : halted) {
      Transfer& transfer = *entry.transfer;
      const unsigned char endpoint = transfer.usb->endpoint;
      const int cleared = libusb_clear_halt(m_handle.get(), endpoint);
      if (cleared != LIBUSB_SUCCESS) {
        DbgPrint("Meridel: clearing the halt of endpoint %02x failed (%s)",
                 static_cast<unsigned>(endpoint), libusb_error_name(cleared));
      }
      NTSTATUS status =
          cleared == LIBUSB_ERROR_NO_DEVICE ? STATUS_DEVICE_REMOVED : STATUS_UNSUCCESSFUL;
      if (!transfer.isIn) {
        {
          std::lock_guard<std::mutex> guard(m_mutex);
          if (m_aborted) status = STATUS_CANCELLED;
          m_outTransfers.erase(transfer.usb.get());
        }
        FinishOut(std::unique_ptr<Transfer>(&transfer), status);
        continue;
      }
      InCompletion reader;
      Packet delivered{};
      {
        std::lock_guard<std::mutex> guard(m_mutex);
        --m_inFlight;
        if (m_inCancel || m_aborted) {
          status = STATUS_CANCELLED;
        } else if (entry.step == TransferStep::ClearHaltThenResubmit &&
                   cleared != LIBUSB_ERROR_NO_DEVICE) {
          const int result = SubmitLocked(transfer);
          if (result == LIBUSB_SUCCESS) {
            continue;
          }
          status = FromSubmitError(result);
        }
        reader = Completed(transfer, status, delivered);
        NoteIdle();
      }
      if (reader) reader(status, delivered);
    }
  }

  void Run() {
    while (!m_stop.load()) {
      timeval timeout{1, 0};
      libusb_handle_events_timeout_completed(m_context.get(), &timeout, nullptr);
      ClearHalts();
    }
  }

  struct Halted {
    Transfer* transfer;
    TransferStep step;
  };

  ContextPtr m_context;
  HandlePtr m_handle;
  const int m_interfaceNumber;
  const UsbDescriptors m_descriptors;
  const Pipe m_in;
  const Pipe m_out;

  std::mutex m_mutex;
  std::condition_variable m_idle;
  std::array<std::unique_ptr<Transfer>, kInQueue> m_inPool;
  std::deque<Transfer*> m_ready;          // IN transfers holding packets, oldest first
  InCompletion m_reader;                  // the read waiting for a packet, if any
  std::vector<InCompletion> m_cancelled;  // readers whose cancel the event thread reports
  NTSTATUS m_inFailure = STATUS_SUCCESS;  // a failure that came while nobody read
  bool m_inCancel = false;
  unsigned m_inFaults = 0;
  std::set<libusb_transfer*> m_outTransfers;
  std::vector<Halted> m_halted;  // waiting for the event thread to clear their halt
  std::size_t m_inFlight = 0;    // transfers at the device or waiting for a halt to clear
  bool m_aborted = false;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
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

std::vector<InterfaceDescription> Describe(const libusb_config_descriptor& config) {
  std::vector<InterfaceDescription> interfaces;
  for (std::uint8_t i = 0; i < config.bNumInterfaces; ++i) {
    if (config.interface[i].num_altsetting == 0) {
      continue;
    }
    const libusb_interface_descriptor& setting = config.interface[i].altsetting[0];
    InterfaceDescription interface;
    interface.number = setting.bInterfaceNumber;
    interface.stringIndex = setting.iInterface;
    for (std::uint8_t e = 0; e < setting.bNumEndpoints; ++e) {
      const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
      interface.endpoints.push_back(
          {endpoint.bEndpointAddress, endpoint.bmAttributes, endpoint.wMaxPacketSize});
    }
    interfaces.push_back(std::move(interface));
  }
  return interfaces;
}

// The kernel reads strings in the first language the device lists.
std::optional<std::string> ReadString(libusb_device_handle* handle, std::uint8_t index) {
  if (index == 0) {
    return std::nullopt;
  }
  unsigned char buffer[255];
  const int languages = libusb_get_string_descriptor(handle, 0, 0, buffer, sizeof buffer);
  std::uint16_t language = 0x0409;  // US English, when the device lists none
  if (languages >= 4) {
    language = static_cast<std::uint16_t>(buffer[2] | (buffer[3] << 8));
  }
  const int length = libusb_get_string_descriptor(handle, index, language, buffer, sizeof buffer);
  if (length < 0) {
    DbgPrint("Meridel: string descriptor %u unreadable (%s)", static_cast<unsigned>(index),
             libusb_error_name(length));
    return std::nullopt;
  }
  return StringDescriptorText(buffer, static_cast<std::size_t>(length));
}

// The configuration the device works in, selecting the first one when it
// is unconfigured (0 means not configured). Null on failure.
ConfigPtr Configure(libusb_device* device, libusb_device_handle* handle) {
  int active = 0;
  int result = libusb_get_configuration(handle, &active);
  if (result != LIBUSB_SUCCESS) {
    DbgPrint("Meridel: reading the configuration failed (%s)", libusb_error_name(result));
    return nullptr;
  }
  libusb_config_descriptor* raw = nullptr;
  std::optional<std::uint8_t> first;
  if (libusb_get_config_descriptor(device, 0, &raw) == LIBUSB_SUCCESS) {
    first = raw->bConfigurationValue;
    libusb_free_config_descriptor(raw);
  }
  const int select = ConfigurationToSelect(active, first);
  if (select < 0) {
    DbgPrint("Meridel: unconfigured device without a configuration");
    return nullptr;
  }
  if (select > 0) {
    result = libusb_set_configuration(handle, select);
    if (result != LIBUSB_SUCCESS) {
      DbgPrint("Meridel: selecting configuration %d failed (%s)", select,
               libusb_error_name(result));
      return nullptr;
    }
    active = select;
  }
  raw = nullptr;
  result = libusb_get_config_descriptor_by_value(device, static_cast<std::uint8_t>(active), &raw);
  if (result != LIBUSB_SUCCESS) {
    DbgPrint("Meridel: configuration %d unreadable (%s)", active, libusb_error_name(result));
    return nullptr;
  }
  return ConfigPtr(raw);
}

}  // namespace

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
  const int detach = libusb_set_auto_detach_kernel_driver(handle.get(), 1);
  if (detach != LIBUSB_SUCCESS) {
    // Not a failure: where it is unsupported, no kernel driver holds the
    // interface either, and a claim that still fails says so below.
    DbgPrint("Meridel: no automatic kernel driver detach (%s)", libusb_error_name(detach));
  }

  libusb_device_descriptor deviceDescriptor{};
  if (libusb_get_device_descriptor(device, &deviceDescriptor) != LIBUSB_SUCCESS) {
    return nullptr;
  }
  const ConfigPtr config = Configure(device, handle.get());
  if (!config) {
    return nullptr;
  }
  const std::vector<InterfaceDescription> interfaces = Describe(*config);
  const InterfaceDescription* interface = FindInterface(interfaces, wanted.interfaceNumber);
  if (interface == nullptr) {
    DbgPrint("Meridel: %04x/%04x has no interface %d", wanted.vendorId, wanted.productId,
             wanted.interfaceNumber);
    return nullptr;
  }
  const std::optional<PipeChoice> pipes = ChoosePipes(*interface);
  if (!pipes) {
    DbgPrint("Meridel: interface %u has no interrupt or bulk pipe each way",
             static_cast<unsigned>(interface->number));
    return nullptr;
  }
  const int claim = libusb_claim_interface(handle.get(), interface->number);
  if (claim != LIBUSB_SUCCESS) {
    DbgPrint("Meridel: cannot claim interface %u of %04x/%04x (%s)",
             static_cast<unsigned>(interface->number), wanted.vendorId, wanted.productId,
             libusb_error_name(claim));
    return nullptr;
  }

  UsbDescriptors descriptors;
  descriptors.vendorId = deviceDescriptor.idVendor;
  descriptors.productId = deviceDescriptor.idProduct;
  descriptors.bcdDevice = deviceDescriptor.bcdDevice;
  descriptors.endpoints = {{pipes->in.address, pipes->in.maxPacketSize},
                           {pipes->out.address, pipes->out.maxPacketSize}};
  descriptors.strings.interfaceName = ReadString(handle.get(), interface->stringIndex);
  descriptors.strings.serialNumber = ReadString(handle.get(), deviceDescriptor.iSerialNumber);
  return std::make_unique<UsbLowerEdge>(std::move(context), std::move(handle), interface->number,
                                        std::move(descriptors), PipeOf(pipes->in),
                                        PipeOf(pipes->out));
}

}  // namespace qvx::driver
