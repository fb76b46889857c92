#include "ifd/Capabilities.h"

#include <PCSC/reader.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "device/UnitBitmap.h"
#include "reader/ReaderAttributes.h"

namespace qvx::driver {

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Byte(std::uint8_t value) { return Bytes{value}; }

// Attribute DWORDs travel little-endian, as the resource manager reads them.
Bytes Dword(std::uint32_t value) {
  return Bytes{static_cast<std::uint8_t>(value & 0xFFu),
               static_cast<std::uint8_t>((value >> 8) & 0xFFu),
               static_cast<std::uint8_t>((value >> 16) & 0xFFu),
               static_cast<std::uint8_t>((value >> 24) & 0xFFu)};
}

// Counting the terminating zero, as the vendor attributes do.
Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text) + 1); }

template <class Function>
Bytes Pointer(Function function) {
  Bytes bytes(sizeof function);
  std::memcpy(bytes.data(), &function, sizeof function);
  return bytes;
}

RESPONSECODE AnswerWith(const Bytes& bytes, PDWORD length, PUCHAR value) {
  if (bytes.size() > *length || value == nullptr) {
    *length = 0;
    return IFD_ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(value, bytes.data(), bytes.size());
  *length = static_cast<DWORD>(bytes.size());
  return IFD_SUCCESS;
}

// Presence as a single byte: 0 no card, 1 card present, 2 card in use.
std::uint8_t Presence(CardState state) {
  if (state <= CardState::Absent) return 0;
  return state == CardState::Present ? 1 : 2;
}

}  // namespace

RESPONSECODE GetCapability(const std::shared_ptr<CDevice>& device, DWORD tag, PDWORD length,
                           PUCHAR value, const PollingFunctions& polling) {
  if (length == nullptr) {
    return IFD_COMMUNICATION_ERROR;
  }
  switch (tag) {
    case TAG_IFD_SLOTS_NUMBER:
      return AnswerWith(Byte(1), length, value);
    case TAG_IFD_SIMULTANEOUS_ACCESS:
      return AnswerWith(Byte(CUnitBitmap::kUnits), length, value);
    case TAG_IFD_THREAD_SAFE:
      // Each device keeps its own state and locks, so the resource manager
      // may serve two readers at once; it still serialises the calls of one.
      return AnswerWith(Byte(1), length, value);
    case TAG_IFD_POLLING_THREAD_WITH_TIMEOUT:
      return AnswerWith(Pointer(polling.poll), length, value);
    case TAG_IFD_POLLING_THREAD_KILLABLE:
      // Not killable: the thread is woken through the stop function, never
      // cancelled in the middle of a wait that holds locks.
      return AnswerWith(Byte(0), length, value);
    case TAG_IFD_STOP_POLLING_THREAD:
      return AnswerWith(Pointer(polling.stop), length, value);
    case TAG_IFD_DEVICE_REMOVED:
      // pcscd then tells us of an unplugged device before closing it.
      return AnswerWith(Byte(1), length, value);
    default:
      break;
  }
  if (!device) {
    *length = 0;
    return IFD_COMMUNICATION_ERROR;
  }
  const SmartcardExtension& extension = device->Reader().Extension();
  const ReaderCapabilities& caps = extension.capabilities;
  switch (tag) {
    case TAG_IFD_ATR:
    case SCARD_ATTR_ATR_STRING: {
      const AtrBytes card = device->Card().Atr();
      const Bytes atr(card.begin(), card.end());
      return AnswerWith(atr, length, value);
    }
    case SCARD_ATTR_VENDOR_NAME:
      return AnswerWith(Text(extension.vendorName), length, value);
    case SCARD_ATTR_VENDOR_IFD_TYPE:
      return AnswerWith(Text(extension.ifdType), length, value);
    case SCARD_ATTR_DEVICE_UNIT:
      return AnswerWith(Dword(extension.unitNo), length, value);
    case SCARD_ATTR_CHANNEL_ID:
      return AnswerWith(Dword((caps.readerType << 16) | (extension.unitNo & 0xFFFFu)), length,
                        value);
    case SCARD_ATTR_ASYNC_PROTOCOL_TYPES:
      return AnswerWith(Dword(caps.supportedProtocols), length, value);
    case SCARD_ATTR_DEFAULT_CLK:
      return AnswerWith(Dword(caps.clkFrequencyDefault), length, value);
    case SCARD_ATTR_MAX_CLK:
      return AnswerWith(Dword(caps.clkFrequencyMax), length, value);
    case SCARD_ATTR_DEFAULT_DATA_RATE:
      return AnswerWith(Dword(caps.dataRateDefault), length, value);
    case SCARD_ATTR_MAX_DATA_RATE:
      return AnswerWith(Dword(caps.dataRateMax), length, value);
    case SCARD_ATTR_MAX_IFSD:
    case SCARD_ATTR_MAXINPUT:
      return AnswerWith(Dword(caps.maxIfsd), length, value);
    case SCARD_ATTR_CHARACTERISTICS:
      return AnswerWith(Dword(caps.mechProperties), length, value);
    case SCARD_ATTR_CURRENT_PROTOCOL_TYPE:
      return AnswerWith(Dword(device->Card().SelectedProtocol()), length, value);
    case SCARD_ATTR_ICC_PRESENCE:
      return AnswerWith(Byte(Presence(device->Card().State())), length, value);
    default:
      *length = 0;
      return IFD_ERROR_TAG;
  }
}

}  // namespace qvx::driver
