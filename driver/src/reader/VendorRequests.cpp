#include "reader/VendorRequests.h"

#include <utility>

#include "reader/ControlCodes.h"
#include "reader/ElementList.h"
#include "reader/InputReason.h"
#include "reader/Mode1Block.h"

namespace qvx::driver {

namespace {

constexpr std::uint8_t kParameterZero[2] = {0x00, 0x00};

}  // namespace

CVendorRequests::CVendorRequests(CDeviceCommands& commands, CTransport& transport, CCardState& card,
                                 Hooks hooks)
    : m_commands(commands), m_transport(transport), m_card(card), m_hooks(std::move(hooks)) {}

LastErrorRecord CVendorRequests::Record() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  return m_record;
}

void CVendorRequests::SetRecord(const LastErrorRecord& record) {
  std::lock_guard<std::mutex> guard(m_recordLock);
  m_record = record;
}

NTSTATUS CVendorRequests::Request(std::uint32_t code, const std::vector<std::uint8_t>& input,
                                  std::vector<std::uint8_t>* reply) {
  reply->clear();
  if (!IsServedVendorCode(code)) {
    return STATUS_INVALID_PARAMETER;
  }
  if (input.size() > kMaxRequestSize) {
    SetRecord({10, static_cast<std::uint8_t>(InputReason::TooLong), 0, 0});
    return STATUS_SUCCESS;
  }
  if (code == kGetLastError) {
    const LastErrorRecord record = Record();
    reply->assign(record.begin(), record.end());
    return STATUS_SUCCESS;
  }
  if (code == kOpenCancelEvent) {
    SetRecord({});
    m_hooks.startCancelWatcher();
    return STATUS_SUCCESS;
  }
  m_hooks.startCancelWatcher();
  SetRecord({});

  m_cardRaised = false;
  const Outcome outcome = Run(code, input, reply);
  if (m_cardRaised) {
    m_card.CompleteTracking();
  }
  if (NT_SUCCESS(outcome.status)) {
    return STATUS_SUCCESS;
  }
  reply->clear();
  if (outcome.status == STATUS_NO_MEDIA) {
    return STATUS_SUCCESS;
  }
  SetRecord(RecordForResult(outcome.status, outcome.detail));
  if (outcome.status == QVX_STATUS_FRAMING) {
    m_hooks.deviceFailed();
  }
  return STATUS_SUCCESS;
}

CVendorRequests::Outcome CVendorRequests::Run(std::uint32_t code,
                                              const std::vector<std::uint8_t>& input,
                                              std::vector<std::uint8_t>* reply) {
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
  const NTSTATUS status = m_commands.Run(command, data, length, response);
  return {status, NT_SUCCESS(status)
                      ? std::vector<std::uint8_t>{}
                      : std::vector<std::uint8_t>(response.data.begin(), response.data.end())};
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

CVendorRequests::Outcome CVendorRequests::CheckDevice(std::vector<std::uint8_t>* reply) {
  Response response;
  Outcome outcome = Command(DeviceCommand::CheckDevice, nullptr, 0, response);
  if (!NT_SUCCESS(outcome.status)) {
    return outcome;
  }
  reply->assign(response.data.begin(), response.data.end());
  reply->insert(reply->end(), kDriverVersion, kDriverVersion + sizeof kDriverVersion);
  return outcome;
}

CVendorRequests::Outcome CVendorRequests::CheckCard(const std::vector<std::uint8_t>& input,
                                                    std::vector<std::uint8_t>* reply) {
  if (input.size() < 2) {
    return {QVX_STATUS_ERROR_25, {static_cast<std::uint8_t>(InputReason::Malformed)}};
  }
  Outcome outcome = Start(&input[input.size() - 2]);
  if (!NT_SUCCESS(outcome.status)) {
    return outcome;
  }
  Response response;
  outcome = Command(DeviceCommand::CheckCard, nullptr, 0, response);
  if (NT_SUCCESS(outcome.status)) {
    reply->assign(response.data.begin(), response.data.end());
  }
  return outcome;
}

CVendorRequests::Outcome CVendorRequests::GetResponse(const std::vector<std::uint8_t>& input,
                                                      std::vector<std::uint8_t>* reply) {
  const ElementList list = ParseElementList(input);
  if (list.fault != InputReason::None) {
    return {QVX_STATUS_ERROR_25, {static_cast<std::uint8_t>(list.fault)}};
  }
  Outcome outcome = Start(list.parameter);
  if (!NT_SUCCESS(outcome.status)) {
    return outcome;
  }
  Response response;
  outcome = Command(DeviceCommand::ResponseBegin, nullptr, 0, response);
  for (std::size_t i = 0; NT_SUCCESS(outcome.status) && i < list.elements.size(); ++i) {
    const ElementSpan& element = list.elements[i];
    outcome =
        Command(DeviceCommand::ResponseElement, &input[element.offset], element.size, response);
  }
  if (NT_SUCCESS(outcome.status)) {
    outcome = Command(DeviceCommand::ResponseEnd, nullptr, 0, response);
  }
  if (NT_SUCCESS(outcome.status)) {
    reply->assign(response.data.begin(), response.data.end());
  }
  return outcome;
}

CVendorRequests::Outcome CVendorRequests::GetMode1Response(const std::vector<std::uint8_t>& input,
                                                           std::vector<std::uint8_t>* reply) {
  Mode1Block block;
  if (!BuildMode1Block(input, &block)) {
    return {QVX_STATUS_ERROR_25, {static_cast<std::uint8_t>(InputReason::Malformed)}};
  }
  return ComputeWithBlock(block.data(), block.size(), reply);
}

CVendorRequests::Outcome CVendorRequests::GetMode2Response(std::vector<std::uint8_t>* reply) {
  return ComputeWithBlock(&kMode2Block, 1, reply);
}

CVendorRequests::Outcome CVendorRequests::ComputeWithBlock(const std::uint8_t* block,
                                                           std::size_t length,
                                                           std::vector<std::uint8_t>* reply) {
  Outcome outcome = Start(kParameterZero);
  if (!NT_SUCCESS(outcome.status)) {
    return outcome;
  }
  Response response;
  outcome = Command(DeviceCommand::ModeBlock, block, length, response);
  if (NT_SUCCESS(outcome.status)) {
    reply->assign(response.data.begin(), response.data.end());
  }
  return outcome;
}

CVendorRequests::Outcome CVendorRequests::DisplayResult(const std::vector<std::uint8_t>& input) {
  Response response;
  return Command(DeviceCommand::Display, input.data(), input.size(), response);
}

}  // namespace qvx::driver
