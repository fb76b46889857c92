#include "reader/DeviceCommands.h"

#include "reader/ResponseCheck.h"

namespace qvx::driver {

namespace {

// These commands may legitimately be answered by a packet 01 03 06, which
// the read pump would otherwise swallow as a device event.
bool ExpectsEvent6(DeviceCommand command) {
  switch (command) {
    case DeviceCommand::Start:
    case DeviceCommand::ResponseBegin:
    case DeviceCommand::ResponseElement:
    case DeviceCommand::ResponseEnd:
    case DeviceCommand::ModeBlock:
      return true;
    default:
      return false;
  }
}

class Event6Expected {
 public:
  Event6Expected(CTransport& transport, bool expected)
      : m_transport(transport), m_expected(expected) {
    if (m_expected) m_transport.SetIgnoreEvent6(false);
  }
  ~Event6Expected() {
    if (m_expected) m_transport.SetIgnoreEvent6(true);
  }
  Event6Expected(const Event6Expected&) = delete;
  Event6Expected& operator=(const Event6Expected&) = delete;

 private:
  CTransport& m_transport;
  bool m_expected;
};

}  // namespace

std::uint8_t RequiredResponse(DeviceCommand command) {
  switch (command) {
    case DeviceCommand::Start:
      return 1;
    case DeviceCommand::CheckDevice:
      return 5;
    case DeviceCommand::CheckCard:
      return 4;
    case DeviceCommand::ResponseBegin:
    case DeviceCommand::ResponseElement:
    case DeviceCommand::Display:
      return 2;
    case DeviceCommand::ResponseEnd:
    case DeviceCommand::ModeBlock:
      return 3;
  }
  return 0;
}

NTSTATUS CDeviceCommands::Exchange(DeviceCommand command, const std::uint8_t* data,
                                   std::size_t length, Response& response) {
  Event6Expected event6(m_transport, ExpectsEvent6(command));
  return m_transport.SendRequest(static_cast<std::uint8_t>(command), data, length, response);
}

NTSTATUS CDeviceCommands::Run(DeviceCommand command, const std::uint8_t* data, std::size_t length,
                              Response& response) {
  const NTSTATUS status = Exchange(command, data, length, response);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  return CheckResponse(RequiredResponse(command), response.code, response.data.data(),
                       response.data.size());
}

}  // namespace qvx::driver
