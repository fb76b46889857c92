#include "reader/SmartcardReader.h"

#include "reader/Protocol.h"
#include "reader/ServedVendorCodes.h"
#include "reader/Transmit.h"

namespace qvx::driver {

// One operation with the device: the cancel watcher may abort it while it
// runs, and the transport brings the device back in step when it ends.
class CSmartcardReader::Operation {
 public:
  explicit Operation(CSmartcardReader& reader) : m_reader(reader) {
    m_reader.m_transport.BeginOperation();
    m_reader.m_watcher.BeginOperation();
  }
  ~Operation() {
    m_reader.m_watcher.EndOperation();
    m_reader.m_transport.EndOperation();
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

 private:
  CSmartcardReader& m_reader;
};

CSmartcardReader::CSmartcardReader(CTransport& transport, CCardState& card, std::uint32_t unit,
                                   const char* cancelEventName, IDeviceFailure& failure)
    : m_transport(transport),
      m_failure(failure),
      m_card(card),
      m_commands(transport),
      m_power(transport, card),
      m_vendor(m_commands, transport, card, *this),
      m_watcher(cancelEventName, transport) {
  m_extension.unitNo = unit;
}

CSmartcardReader::~CSmartcardReader() { m_watcher.Stop(); }

NTSTATUS CSmartcardReader::CardPower(PowerAction action, AtrBytes* atr) {
  KMutexGuard guard(m_serial);
  Operation operation(*this);
  return m_power.Power(action, atr);
}

NTSTATUS CSmartcardReader::SetProtocol(std::uint32_t requested, std::uint32_t* selected) {
  KMutexGuard guard(m_serial);
  return qvx::driver::SetProtocol(m_card, requested, selected);
}

NTSTATUS CSmartcardReader::Transmit(const std::uint8_t* apdu, std::size_t size, Answer* reply) {
  KMutexGuard guard(m_serial);
  if (m_card.State() != CardState::Specific) {
    reply->Clear();
    return STATUS_INVALID_DEVICE_STATE;
  }
  Operation operation(*this);
  return qvx::driver::Transmit(m_commands, apdu, size, reply);
}

NTSTATUS CSmartcardReader::VendorRequest(std::uint32_t code, ByteView input, VendorReply* reply) {
  KMutexGuard guard(m_serial);
  if (!TalksToDevice(code)) {
    // No operation with the device: reading the last-error record neither
    // clears a cancel nor waits for a resynchronisation.
    return m_vendor.Request(code, input, reply);
  }
  Operation operation(*this);
  return m_vendor.Request(code, input, reply);
}

}  // namespace qvx::driver
