// The vendor requests: each runs its device commands and leaves the
// outcome in the last-error record, which the host reads right after with
// kGetLastError. The request itself always succeeds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/Bytes.h"
#include "kernel/Mutex.h"
#include "kernel/NtStatus.h"
#include "reader/CardState.h"
#include "reader/DeviceCommands.h"
#include "reader/InputReason.h"
#include "reader/LastErrorRecord.h"

namespace qvx::driver {

// The driver version a check-device answer carries after the device's own.
constexpr char kDriverVersion[] = "01.24";

// The longest reply: 256 response bytes and the driver version with its
// zero byte (check device).
constexpr std::size_t kMaxVendorReply = 256 + sizeof kDriverVersion;
using VendorReply = ByteBuffer<kMaxVendorReply>;

// What a vendor request asks of the reader around it.
class IVendorHooks {
 public:
  virtual void StartCancelWatcher() = 0;
  // The device broke the framing: it is to be reported failed.
  virtual void DeviceFailed() = 0;

 protected:
  ~IVendorHooks() = default;
};

class CVendorRequests {
 public:
  CVendorRequests(CDeviceCommands& commands, CTransport& transport, CCardState& card,
                  IVendorHooks& hooks);

  // STATUS_SUCCESS for every served code, with *reply the request's output
  // (empty on failure); STATUS_INVALID_PARAMETER for a code not served.
  NTSTATUS Request(std::uint32_t code, ByteView input, VendorReply* reply);

  LastErrorRecord Record();

 private:
  // The result of one request body; `detail` carries the bytes the record
  // takes its detail from (at most three).
  struct Outcome {
    NTSTATUS status = STATUS_SUCCESS;
    ByteBuffer<3> detail;
  };

  static Outcome InputFault(InputReason reason);
  Outcome Run(std::uint32_t code, ByteView input, VendorReply* reply);
  Outcome Command(DeviceCommand command, const std::uint8_t* data, std::size_t length,
                  Response& response);
  Outcome Start(const std::uint8_t* parameter);

  Outcome CheckDevice(VendorReply* reply);
  Outcome CheckCard(ByteView input, VendorReply* reply);
  Outcome GetResponse(ByteView input, VendorReply* reply);
  Outcome GetMode1Response(ByteView input, VendorReply* reply);
  Outcome GetMode2Response(VendorReply* reply);
  Outcome ComputeWithBlock(const std::uint8_t* block, std::size_t length, VendorReply* reply);
  Outcome DisplayResult(ByteView input);

  void SetRecord(const LastErrorRecord& record);

  CDeviceCommands& m_commands;
  CTransport& m_transport;
  CCardState& m_card;
  IVendorHooks& m_hooks;
  bool m_cardRaised = false;  // during one request

  SpinLock m_recordLock;
  LastErrorRecord m_record{};
};

}  // namespace qvx::driver
