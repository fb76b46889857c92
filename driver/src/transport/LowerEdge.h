// The USB device below the transport.
//
// Offers: ILowerEdge — one 8-byte OUT transfer or one IN transfer at a time
// per pipe, each finished through its completion; CancelIn; AbortPipes;
// ReadDescriptors. Backends: libusb and the simulator's socket on Linux
// (transport/LowerEdgeFactory.h picks one from a device name), URBs to the
// USB stack on Windows. The interface is kernel-safe: completions are a
// routine and its context, descriptors are fixed-size.
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

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "kernel/NtStatus.h"
#include "transport/Packet.h"
#include "transport/os/DeviceNameStrings.h"

namespace qvx::driver {

struct EndpointInfo {
  std::uint8_t address = 0;  // bit 7 set: IN
  std::uint16_t maxPacketSize = 0;
};

// The pipes of the claimed interface: at most one IN and one OUT.
class EndpointList {
 public:
  static constexpr std::size_t kCapacity = 2;

  EndpointList() = default;
  // Keeps the first kCapacity.
  EndpointList(std::initializer_list<EndpointInfo> endpoints) {  // NOLINT: a list like any other
    for (const EndpointInfo& endpoint : endpoints) {
      if (m_count == kCapacity) {
        break;
      }
      m_endpoints[m_count++] = endpoint;
    }
  }
  void Add(const EndpointInfo& endpoint) {
    if (m_count < kCapacity) {
      m_endpoints[m_count++] = endpoint;
    }
  }

  const EndpointInfo* begin() const { return m_endpoints; }
  const EndpointInfo* end() const { return m_endpoints + m_count; }
  std::size_t size() const { return m_count; }

 private:
  EndpointInfo m_endpoints[kCapacity] = {};
  std::size_t m_count = 0;
};

struct UsbDescriptors {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t bcdDevice = 0;
  EndpointList endpoints;  // the IN and OUT pipe of the claimed interface
  // What the device names itself with, where the system's reader naming
  // uses it (transport/os/DeviceNameStrings.h).
  DeviceNameStrings strings;
};

// A completion: routine(context, ...) runs once when the transfer ends.
// Moving one leaves the source empty, so a backend can tell a transfer
// handed on from one still pending.
template <class... Args>
class Completion {
 public:
  using Routine = void (*)(void* context, Args... args);

  Completion() = default;
  Completion(std::nullptr_t) {}  // NOLINT(google-explicit-constructor): as empty as a null routine
  Completion(Routine routine, void* context) : m_routine(routine), m_context(context) {}
  Completion(const Completion&) = default;
  Completion& operator=(const Completion&) = default;
  Completion(Completion&& other) noexcept : m_routine(other.m_routine), m_context(other.m_context) {
    other.m_routine = nullptr;
  }
  Completion& operator=(Completion&& other) noexcept {
    m_routine = other.m_routine;
    m_context = other.m_context;
    other.m_routine = nullptr;
    return *this;
  }
  Completion& operator=(std::nullptr_t) {
    m_routine = nullptr;
    return *this;
  }

  explicit operator bool() const { return m_routine != nullptr; }
  void operator()(Args... args) const { m_routine(m_context, args...); }

 private:
  Routine m_routine = nullptr;
  void* m_context = nullptr;
};

using OutCompletion = Completion<NTSTATUS>;
// The packet is meaningful only on success.
using InCompletion = Completion<NTSTATUS, const Packet&>;

class ILowerEdge {
 public:
  virtual ~ILowerEdge() = default;

  virtual NTSTATUS ReadDescriptors(UsbDescriptors& descriptors) = 0;
  virtual NTSTATUS SubmitOut(const Packet& packet, OutCompletion completion) = 0;
  virtual NTSTATUS SubmitIn(InCompletion completion) = 0;
  virtual void CancelIn() = 0;
  virtual void AbortPipes() = 0;
};

}  // namespace qvx::driver
