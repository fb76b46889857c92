#include "reader/VendorRequests.h"

#include "reader/ElementList.h"
#include "reader/InputReason.h"
#include "reader/Mode1Block.h"
#include "reader/ServedVendorCodes.h"

namespace qvx::driver {

namespace {

constexpr std::uint8_t kParameterZero[2] = {0x00, 0x00};

}  // namespace

CVendorRequests::CVendorRequests(CDeviceCommands& commands, CTransport& transport, CCardState& card,
                                 IVendorHooks& hooks)
    : m_commands(commands), m_transport(transport), m_card(card), m_hooks(hooks) {}

CVendorRequests::Outcome CVendorRequests::InputFault(InputReason reason) {
  Outcome outcome;
  outcome.status = QVX_STATUS_ERROR_25;
  outcome.detail.Append(static_cast<std::uint8_t>(reason));
  return outcome;
}

LastErrorRecord CVendorRequests::Record() {
  SpinLockGuard guard(m_recordLock);
  return m_record;
}

void CVendorRequests::SetRecord(const LastErrorRecord& record) {
  SpinLockGuard guard(m_recordLock);
  m_record = record;
}

NTSTATUS CVendorRequests::Request(std::uint32_t code, ByteView input, VendorReply* reply) {
  reply->Clear();
  if (!IsServedVendorCode(code)) {
    return STATUS_INVALID_PARAMETER;
  }
  if (input.size() > kMaxRequestSize) {
    SetRecord({10, static_cast<std::uint8_t>(InputReason::TooLong), 0, 0});
    return STATUS_SUCCESS;
  }
  if (code == kGetLastError) {
    const LastErrorRecord record = Record();
    reply->Append(record.data(), record.size());
    return STATUS_SUCCESS;
  }
  if (code == kOpenCancelEvent) {
    SetRecord({});
    m_hooks.StartCancelWatcher();
    return STATUS_SUCCESS;
  }
  m_hooks.StartCancelWatcher();
  SetRecord({});

  m_cardRaised = false;
  const Outcome outcome = Run(code, input, reply);
  if (m_cardRaised) {
    m_card.CompleteTracking();
  }
  if (NT_SUCCESS(outcome.status)) {
    return STATUS_SUCCESS;
  }
  reply->Clear();
  if (outcome.status == STATUS_NO_MEDIA) {
    return STATUS_SUCCESS;
  }
  SetRecord(RecordForResult(outcome.status, outcome.detail));
  if (outcome.status == QVX_STATUS_FRAMING) {
    m_hooks.DeviceFailed();
  }
  return STATUS_SUCCESS;
}

CVendorRequests::Outcome CVendorRequests::Run(std::uint32_t code, ByteView input,
                                              VendorReply* reply) {
  switch (code) {
    case kCheckDevice:
      return CheckDevice(reply);
    case kCheckCard:
      return CheckCard(input, reply);
    case kGetResponse:
      return GetResponse(input, reply);
    case kGetMode1Response:
      return GetMode1Response(input, reply);
    case kGetMode2Response:
      return GetMode2Response(reply);
    case kDisplayResult:
      return DisplayResult(input);
    default:
      return {};  // kFunction808: nothing to do
  }
}

CVendorRequests::Outcome CVendorRequests::Command(DeviceCommand command, const std::uint8_t* data,
                                                  std::size_t length, Response& response) {
  Outcome outcome;
  outcome.status = m_commands.Run(command, data, length, response);
  if (!NT_SUCCESS(outcome.status)) {
    // What does not fit is no detail the record shows.
    outcome.detail.Append(response.data.data(),
                          response.data.size() < 3 ? response.data.size() : std::size_t{3});
  }
  return outcome;
}

CVendorRequests::Outcome CVendorRequests::Start(const std::uint8_t* parameter) {
  Response response;
  Outcome outcome = Command(DeviceCommand::Start, parameter, 2, response);
  if (NT_SUCCESS(outcome.status) && m_card.RaiseToPresent()) {
    // The device has a card in hand even though no status said so yet.
    m_transport.SetCardPresent(true);
    m_cardRaised = true;
  }
  return outcome;
}

CVendorRequests::Outcome CVendorRequests::CheckDevice(VendorReply* reply) {
  Response response;
  Outcome outcome = Command(DeviceCommand::CheckDevice, nullptr, 0, response);
  if (!NT_SUCCESS(outcome.status)) {
    return outcome;
  }
  reply->Assign(response.data);
  reply->Append(reinterpret_cast<const std::uint8_t*>(kDriverVersion), sizeof kDriverVersion);
  return outcome;
}

CVendorRequests::Outcome CVendorRequests::CheckCard(ByteView input, VendorReply* reply) {
  if (input.size() < 2) {
    return InputFault(InputReason::Malformed);
  }
  Outcome outcome = Start(input.data() + input.size() - 2);
  if (!NT_SUCCESS(outcome.status)) {
    return outcome;
  }
  Response response;
  outcome = Command(DeviceCommand::CheckCard, nullptr, 0, response);
  if (NT_SUCCESS(outcome.status)) {
    reply->Assign(response.data);
  }
  return outcome;
}

CVendorRequests::Outcome CVendorRequests::GetResponse(ByteView input, VendorReply* reply) {
  const ElementList list = ParseElementList(input);
  if (list.fault != InputReason::None) {
    return InputFault(list.fault);
  }
  Outcome outcome = Start(list.parameter);
  if (!NT_SUCCESS(outcome.status)) {
    return outcome;
  }
  Response response;
  outcome = Command(DeviceCommand::ResponseBegin, nullptr, 0, response);
  for (auto at = list.elements.begin(); NT_SUCCESS(outcome.status) && at != list.elements.end();
       ++at) {
    const ElementSpan element = *at;
    outcome = Command(DeviceCommand::ResponseElement, input.data() + element.offset, element.size,
                      response);
  }
  if (NT_SUCCESS(outcome.status)) {
    outcome = Command(DeviceCommand::ResponseEnd, nullptr, 0, response);
  }
  if (NT_SUCCESS(outcome.status)) {
    reply->Assign(response.data);
  }
  return outcome;
}

CVendorRequests::Outcome CVendorRequests::GetMode1Response(ByteView input, VendorReply* reply) {
  Mode1Block block;
  if (!BuildMode1Block(input, &block)) {
    return InputFault(InputReason::Malformed);
  }
  return ComputeWithBlock(block.data(), block.size(), reply);
}

CVendorRequests::Outcome CVendorRequests::GetMode2Response(VendorReply* reply) {
  return ComputeWithBlock(&kMode2Block, 1, reply);
}

CVendorRequests::Outcome CVendorRequests::ComputeWithBlock(const std::uint8_t* block,
                                                           std::size_t length, VendorReply* reply) {
  Outcome outcome = Start(kParameterZero);
  if (!NT_SUCCESS(outcome.status)) {
    return outcome;
  }
  Response response;
  outcome = Command(DeviceCommand::ModeBlock, block, length, response);
  if (NT_SUCCESS(outcome.status)) {
    reply->Assign(response.data);
  }
  return outcome;
}

CVendorRequests::Outcome CVendorRequests::DisplayResult(ByteView input) {
  Response response;
  return Command(DeviceCommand::Display, input.data(), input.size(), response);
}

}  // namespace qvx::driver
