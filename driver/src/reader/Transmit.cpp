#include "reader/Transmit.h"

#include "reader/ApduTable.h"
#include "reader/Mode1Block.h"

namespace qvx::driver {

namespace {

constexpr std::uint8_t kParameterZero[] = {0x00, 0x00};

// The device did not get as far as answering the mode command.
bool EndedBeforeAnswer(NTSTATUS status) {
  return status == STATUS_NO_MEDIA || status == QVX_STATUS_EVENT_0B ||
         status == QVX_STATUS_EVENT_07;
}

NTSTATUS ModeExchange(CDeviceCommands& commands, ByteView block, Answer* reply) {
  Response response;
  NTSTATUS status = commands.Exchange(DeviceCommand::Start,
                                      ByteView(kParameterZero, sizeof kParameterZero), response);
  if (EndedBeforeAnswer(status)) {
    *reply = StatusWord(0x69, 0xF0);
    return STATUS_SUCCESS;
  }
  if (!NT_SUCCESS(status)) {
    return status;
  }
  // Here only the code counts, not the first data byte.
  if (response.code != RequiredResponse(DeviceCommand::Start)) {
    *reply = StatusWord(0x69, 0xF0);
    return STATUS_SUCCESS;
  }
  status = commands.Exchange(DeviceCommand::ModeBlock, block, response);
  if (EndedBeforeAnswer(status)) {
    *reply = StatusWord(0x69, 0xF0);
    return STATUS_SUCCESS;
  }
  if (!NT_SUCCESS(status)) {
    return status;
  }
  *reply = ExchangeAnswer(response.code, response.data);
  return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS Transmit(CDeviceCommands& commands, const std::uint8_t* apdu, std::size_t size,
                  Answer* reply) {
  reply->Clear();
  switch (ClassifyApdu(apdu, size)) {
    case ApduKind::Identify:
      *reply = IdentificationAnswer();
      return STATUS_SUCCESS;
    case ApduKind::Mode1: {
      TransmitBlock block;
      if (!BuildTransmitBlock(apdu, size, &block)) {
        *reply = StatusWord(0x67, 0x00);
        return STATUS_SUCCESS;
      }
      return ModeExchange(commands, block, reply);
    }
    case ApduKind::Mode2:
      return ModeExchange(commands, ByteView(&kMode2Block, 1), reply);
    case ApduKind::WrongParameters:
      *reply = StatusWord(0x6A, 0x86);
      return STATUS_SUCCESS;
    case ApduKind::WrongInstruction:
      break;
  }
  *reply = StatusWord(0x69, 0x82);
  return STATUS_SUCCESS;
}

}  // namespace qvx::driver
