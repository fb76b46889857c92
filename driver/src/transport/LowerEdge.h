// The USB device below the transport.
//
// Offers: ILowerEdge — one 8-byte OUT transfer or one IN transfer at a time
// per pipe, each finished through its completion; CancelIn; AbortPipes;
// ReadDescriptors. OpenLowerEdge picks the backend from a device name:
// "sim:PATH" connects to the simulator's SOCK_SEQPACKET socket at PATH,
// "usb:..." opens the USB device (pcscd's DEVICENAME), anything else gives
// nullptr.
//
// Contract for every backend:
// - A submit that returns success runs its completion exactly once, maybe
//   before the submit returns, maybe on the backend's own thread. A submit
//   that returns a failure never runs it.
// - Completions may submit again (the read pump re-arms from its
//   completion) and cancel what they submitted; they must not call
//   AbortPipes.
// - At most one IN transfer is outstanding; a second SubmitIn fails with
//   STATUS_INVALID_DEVICE_STATE.
// - CancelIn: the outstanding IN transfer completes with STATUS_CANCELLED
//   (unless it is already completing); no-op when none is outstanding.
// - AbortPipes: outstanding transfers complete with STATUS_CANCELLED and
//   every later submit fails.
// - A device that goes away (cable pulled, simulator gone): the outstanding
//   IN completes with STATUS_DEVICE_REMOVED; later OUT transfers complete
//   with STATUS_DEVICE_REMOVED; later IN submits fail.
// - The destructor cancels what is outstanding and returns only when no
//   completion is running or will run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kernel/NtStatus.h"
#include "transport/Packet.h"

namespace qvx::driver {

struct EndpointInfo {
  std::uint8_t address = 0;  // bit 7 set: IN
  std::uint16_t maxPacketSize = 0;
};

// The strings a USB device names itself with, as the kernel presents them
// to pcscd's hotplug: UTF-8, absent when the device has none or an empty one.
struct DeviceNameStrings {
  std::optional<std::string> interfaceName;  // iInterface of the claimed interface
  std::optional<std::string> serialNumber;   // iSerialNumber of the device
};

struct UsbDescriptors {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t bcdDevice = 0;
  std::vector<EndpointInfo> endpoints;  // the IN and OUT pipe of the claimed interface
  DeviceNameStrings strings;
};

using OutCompletion = std::function<void(NTSTATUS status)>;
// The packet is meaningful only on success.
using InCompletion = std::function<void(NTSTATUS status, const Packet& packet)>;

class ILowerEdge {
 public:
  virtual ~ILowerEdge() = default;

  virtual NTSTATUS ReadDescriptors(UsbDescriptors& descriptors) = 0;
  virtual NTSTATUS SubmitOut(const Packet& packet, OutCompletion completion) = 0;
  virtual NTSTATUS SubmitIn(InCompletion completion) = 0;
  virtual void CancelIn() = 0;
  virtual void AbortPipes() = 0;
};

std::unique_ptr<ILowerEdge> OpenLowerEdge(const std::string& deviceName);

}  // namespace qvx::driver
