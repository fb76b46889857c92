// The vendor requests: each runs its device commands and leaves the
// outcome in the last-error record, which the host reads right after with
// kGetLastError. The request itself always succeeds.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "kernel/NtStatus.h"
#include "reader/CardState.h"
#include "reader/DeviceCommands.h"
#include "reader/LastErrorRecord.h"

namespace qvx::driver {

// The driver version a check-device answer carries after the device's own.
constexpr char kDriverVersion[] = "01.24";

class CVendorRequests {
 public:
  struct Hooks {
    std::function<void()> startCancelWatcher;
    // The device broke the framing: it is to be reported failed.
    std::function<void()> deviceFailed;
  };

  CVendorRequests(CDeviceCommands& commands, CTransport& transport, CCardState& card, Hooks hooks);

  // STATUS_SUCCESS for every served code, with *reply the request's output
  // (empty on failure); STATUS_INVALID_PARAMETER for a code not served.
  NTSTATUS Request(std::uint32_t code, const std::vector<std::uint8_t>& input,
                   std::vector<std::uint8_t>* reply);

  LastErrorRecord Record();

 private:
  // The result of one request body; `detail` carries the bytes the record
  // takes its detail from.
  struct Outcome {
    NTSTATUS status = STATUS_SUCCESS;
    std::vector<std::uint8_t> detail;
  };

  Outcome Run(std::uint32_t code, const std::vector<std::uint8_t>& input,
              std::vector<std::uint8_t>* reply);
  Outcome Command(DeviceCommand command, const std::uint8_t* data, std::size_t length,
                  Response& response);
  Outcome Start(const std::uint8_t* parameter);

  Outcome CheckDevice(std::vector<std::uint8_t>* reply);
  Outcome CheckCard(const std::vector<std::uint8_t>& input, std::vector<std::uint8_t>* reply);
  Outcome GetResponse(const std::vector<std::uint8_t>& input, std::vector<std::uint8_t>* reply);
  Outcome GetMode1Response(const std::vector<std::uint8_t>& input,
                           std::vector<std::uint8_t>* reply);
  Outcome GetMode2Response(std::vector<std::uint8_t>* reply);
  Outcome ComputeWithBlock(const std::uint8_t* block, std::size_t length,
                           std::vector<std::uint8_t>* reply);
  Outcome DisplayResult(const std::vector<std::uint8_t>& input);

  void SetRecord(const LastErrorRecord& record);

  CDeviceCommands& m_commands;
  CTransport& m_transport;
  CCardState& m_card;
  Hooks m_hooks;
  bool m_cardRaised = false;  // during one request

  std::mutex m_recordLock;
  LastErrorRecord m_record{};
};

}  // namespace qvx::driver
