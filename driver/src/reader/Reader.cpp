#include "reader/Reader.h"

#include <utility>

#include "reader/ControlCodes.h"
#include "reader/Protocol.h"
#include "reader/ReaderName.h"
#include "reader/Transmit.h"

namespace qvxrdr {

// One operation with the device: the cancel watcher may abort it while it
// runs, and the transport brings the device back in step when it ends.
class CReader::Operation {
 public:
  explicit Operation(CReader& reader) : reader_(reader) {
    reader_.transport_.BeginOperation();
    reader_.watcher_.BeginOperation();
  }
  ~Operation() {
    reader_.watcher_.EndOperation();
    reader_.transport_.EndOperation();
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

 private:
  CReader& reader_;
};

CReader::CReader(CTransport& transport, CCardState& card, std::uint32_t unit,
                 const std::string& readerName, std::function<void()> deviceFailed)
    : transport_(transport),
      card_(card),
      commands_(transport),
      power_(transport, card),
      vendor_(commands_, transport, card,
              CVendorRequests::Hooks{[this] { watcher_.Start(); }, std::move(deviceFailed)}),
      watcher_(qvxrdr::CancelEventName(readerName),
               [&transport](std::uint8_t sequence) { return transport.WriteAbort(sequence); }) {
  extension_.unitNo = unit;
}

CReader::~CReader() { watcher_.Stop(); }

NTSTATUS CReader::CardPower(PowerAction action, std::vector<std::uint8_t>* atr) {
  std::lock_guard<std::mutex> guard(serial_);
  Operation operation(*this);
  return power_.Power(action, atr);
}

NTSTATUS CReader::SetProtocol(std::uint32_t requested, std::uint32_t* selected) {
  std::lock_guard<std::mutex> guard(serial_);
  return qvxrdr::SetProtocol(card_, requested, selected);
}

NTSTATUS CReader::Transmit(const std::uint8_t* apdu, std::size_t size,
                           std::vector<std::uint8_t>* reply) {
  std::lock_guard<std::mutex> guard(serial_);
  if (card_.State() != CardState::Specific) {
    reply->clear();
    return STATUS_INVALID_DEVICE_STATE;
  }
  Operation operation(*this);
  return qvxrdr::Transmit(commands_, apdu, size, reply);
}

NTSTATUS CReader::VendorRequest(std::uint32_t code, const std::vector<std::uint8_t>& input,
                                std::vector<std::uint8_t>* reply) {
  std::lock_guard<std::mutex> guard(serial_);
  if (!TalksToDevice(code)) {
    // No operation with the device: reading the last-error record neither
    // clears a cancel nor waits for a resynchronisation.
    return vendor_.Request(code, input, reply);
  }
  Operation operation(*this);
  return vendor_.Request(code, input, reply);
}

}  // namespace qvxrdr
