// The constant tables behind CError: error codes, the extended-error index
// of the driver's last-error record, and the device's own error numbers.
// Texts are the device's and the platform's own; keep them byte for byte.
#include "command/ErrorCodes.h"

#include <array>
#include <cstddef>
#include <iterator>

namespace qvx {

namespace {

const ErrorCodeRow kErrorCodes[] = {
    {0xE00A0001u, "QVXRD_E_DEVICE_NOT_CONNECTED", "The device has been removed", "User", 2},
    {0x00000651u, "ERROR_DEVICE_REMOVED", "The device has been removed", "User", 2},
    {0x80100001u, "SCARD_F_INTERNAL_ERROR", "An internal consistency check failed", "System", 1},
    {0x80100002u, "SCARD_E_CANCELLED", "The action was cancelled by an SCardCancel request",
     "BRIXON", 1},
    {0x80100003u, "SCARD_E_INVALID_HANDLE", "The supplied handle was invalid", "BRIXON", 1},
    {0x80100004u, "SCARD_E_INVALID_PARAMETER",
     "One or more of the supplied parameters could not be properly interpreted", "BRIXON/QVX", 1},
    {0x80100005u, "SCARD_E_INVALID_TARGET", "Registry start-up information is missing or invalid",
     "Setup", 1},
    {0x80100006u, "SCARD_E_NO_MEMORY", "Not enough memory available to complete this command",
     "System", 1},
    {0x80100007u, "SCARD_F_WAITED_TOO_LONG", "An internal consistency timer has expired", "System",
     8},
    {0x80100008u, "SCARD_E_INSUFFICIENT_BUFFER",
     "The data buffer to receive returned data is too small for the returned data", "BRIXON", 1},
    {0x80100009u, "SCARD_E_UNKNOWN_READER", "The specified reader name is not recognized",
     "BRIXON/Setup", 2},
    {0xA010000Au, "SCARD_E_TIMEOUT", "The user-specified timeout value has expired", "User", 8},
    {0x8010000Bu, "SCARD_E_SHARING_VIOLATION",
     "The smart card cannot be accessed because of other connections outstanding", "User", 14},
    {0x8010000Cu, "SCARD_E_NO_SMARTCARD",
     "The operation requires a Smart Card, but no Smart Card is currently in the device", "User",
     1},
    {0xA010000Du, "SCARD_E_UNKNOWN_CARD", "The specified smart card name is not recognized",
     "BRIXON", 1},
    {0x8010000Eu, "SCARD_E_CANT_DISPOSE",
     "The system could not dispose of the media in the requested manner", "System", 1},
    {0x8010000Fu, "SCARD_E_PROTO_MISMATCH",
     "The requested protocols are incompatible with the protocol currently in use with the smart "
     "card",
     "BRIXON", 1},
    {0x80100010u, "SCARD_E_NOT_READY", "The reader or smart card is not ready to accept commands",
     "BRIXON/QVX", 1},
    {0x80100011u, "SCARD_E_INVALID_VALUE",
     "One or more of the supplied parameters values could not be properly interpreted",
     "BRIXON/QVX", 1},
    // A cancelled command must never read "Success": the system ended it
    // before the device answered, so it counts as a communication failure.
    {0x80100012u, "SCARD_E_SYSTEM_CANCELLED",
     "The action was cancelled by the system, presumably to log off or shut down", "User", 1},
    {0xA0100013u, "SCARD_F_COMM_ERROR", "An internal communications error has been detected",
     "System", 1},
    {0xA0100014u, "SCARD_F_UNKNOWN_ERROR",
     "An internal error has been detected, but the source is unknown", "System", 1},
    {0x80100015u, "SCARD_E_INVALID_ATR",
     "An ATR obtained from the registry is not a valid ATR string", "Setup", 1},
    {0x80100016u, "SCARD_E_NOT_TRANSACTED", "An attempt was made to end a non-existent transaction",
     "BRIXON", 1},
    {0x80100017u, "SCARD_E_READER_UNAVAILABLE",
     "The specified reader is not currently available for use", "User", 2},
    {0x80100018u, "SCARD_P_SHUTDOWN", "Private -- Internal flag to force server termination",
     "System", 1},
    {0x80100019u, "SCARD_E_PCI_TOO_SMALL", "The PCI Receive buffer was too small", "BRIXON", 1},
    {0x8010001Au, "SCARD_E_READER_UNSUPPORTED",
     "The reader driver does not meet minimal requirements for support", "Setup", 1},
    {0x8010001Bu, "SCARD_E_DUPLICATE_READER",
     "The reader driver did not produce a unique reader name", "Setup", 1},
    {0xA010001Cu, "SCARD_E_CARD_UNSUPPORTED",
     "The smart card does not meet minimal requirements for support", "User", 5},
    {0x8010001Du, "SCARD_E_NO_SERVICE", "The Smart card resource manager is not running",
     "Setup/User", 1},
    {0x8010001Eu, "SCARD_E_SERVICE_STOPPED", "The Smart card resource manager has shut down",
     "Setup/User", 1},
    {0x8010001Fu, "SCARD_E_UNEXPECTED", "An unexpected card error has occurred", "System", 1},
    {0x80100020u, "SCARD_E_ICC_INSTALLATION", "No Primary Provider can be found for the smart card",
     "Setup", 1},
    {0x80100021u, "SCARD_E_ICC_CREATEORDER",
     "The requested order of object creation is not supported", "QVX", 1},
    {0x80100022u, "SCARD_E_UNSUPPORTED_FEATURE",
     "This smart card does not support the requested feature", "QVX", 1},
    {0x80100023u, "SCARD_E_DIR_NOT_FOUND",
     "The identified directory does not exist in the smart card", "QVX", 1},
    {0x80100024u, "SCARD_E_FILE_NOT_FOUND", "The identified file does not exist in the smart card",
     "QVX", 1},
    {0x80100025u, "SCARD_E_NO_DIR", "The supplied path does not represent a smart card directory",
     "QVX", 1},
    {0x80100026u, "SCARD_E_NO_FILE", "The supplied path does not represent a smart card file",
     "QVX", 1},
    {0x80100027u, "SCARD_E_NO_ACCESS", "Access is denied to this file", "QVX", 1},
    {0x80100028u, "SCARD_E_WRITE_TOO_MANY",
     "An attempt was made to write more data than would fit in the target object", "QVX", 1},
    {0x80100029u, "SCARD_E_BAD_SEEK",
     "There was an error trying to set the smart card file object pointer", "QVX", 1},
    {0x8010002Au, "SCARD_E_INVALID_CHV", "The supplied PIN is incorrect", "NA", 1},
    {0x8010002Bu, "SCARD_E_UNKNOWN_RES_MNG",
     "An unrecognised error code was returned from a layered component", "System", 1},
    {0x8010002Cu, "SCARD_E_NO_SUCH_CERTIFICATE", "The requested certificate does not exist.", "NA",
     1},
    {0x8010002Du, "SCARD_E_CERTIFICATE_UNAVAILABLE",
     "The requested certificate could not be obtained.", "NA", 1},
    {0x8010002Eu, "SCARD_E_NO_READERS_AVAILABLE",
     "None of the specified readers are currently available for use", "Setup", 2},
    {0xE0100000u, "SCARD_E_DEVICE_ERROR", "Device (Quorvex2) error", "QVX", 3},
    {0xE0100001u, "SCARD_E_SW1SW2_ERROR", "SW1SW2", "Card", 10},
    {0xE0100002u, "SCARD_E_CARDID_NOT_FOUND", "No CardId found on the card", "Card", 9},
    {0xE0100003u, "SCARD_E_INPUT_ERROR", "The input data is invalid.", "User", 12},
    {0x80100065u, "SCARD_W_UNSUPPORTED_CARD",
     "The reader cannot communicate with the smart card, due to ATR configuration conflicts",
     "Setup", 1},
    {0x80100066u, "SCARD_W_UNRESPONSIVE_CARD", "The smart card is not responding to a reset", "QVX",
     1},
    {0x80100067u, "SCARD_W_UNPOWERED_CARD",
     "Power has been removed from the smart card, so that further communication is not possible",
     "QVX", 1},
    {0x80100068u, "SCARD_W_RESET_CARD",
     "The smart card has been reset, so any shared state information is invalid", "QVX", 1},
    {0x80100069u, "SCARD_W_REMOVED_CARD",
     "The smart card has been removed, so that further communication is not possible", "QVX", 1},
    {0x8010006Au, "SCARD_W_SECURITY_VIOLATION", "Access was denied because of a security violation",
     "QVX", 1},
    {0x8010006Bu, "SCARD_W_WRONG_CHV",
     "The card cannot be accessed because the wrong PIN was presented", "NA", 1},
    {0xA010006Cu, "SCARD_W_CHV_BLOCKED",
     "The card cannot be accessed because the maximum number of PIN entry attempts has been "
     "reached",
     "User", 11},
    {0x8010006Du, "SCARD_W_EOF", "The end of the smart card file has been reached", "QVX", 1},
    {0xA010006Eu, "SCARD_W_CANCELLED_BY_USER", "The action was cancelled by the user", "User", 7},
    {0xA0100001u, "SCARD_W_CARD_BLOCKED", "The smart card is blocked", "User", 6},
    {kCancelledByOtherSessionCode, "SCARD_W_CANCELLED", "Command Cancelled by other session.",
     "User", 15},
};

// Index: the category byte of the last-error record; 0 means no error.
constexpr std::array<std::uint32_t, kLastExtendedError + 1> kExtendedErrors = {
    0,           0xA010000Au, 0xA0100014u, 0xE0100000u, 0xA010006Eu, kCancelledByOtherSessionCode,
    0xA010006Cu, 0xA0100001u, 0xA010000Du, 0xA010001Cu, 0xE0100003u, 0xE0100001u,
    0xA0100013u, 0xE0100002u,
};

const DeviceErrorRow kDeviceErrors[] = {
    {0x01, "ERR_DF_NAME_NOT_FOUND", "Could not find DF-name"},
    {0x02, "ERR_AID_TOO_SHORT_LONG", "The returned DF-name is either too long or too short."},
    {0x03, "ERR_DF_AID_MISMATCH", "AID is not the same as the one selected"},
    {0x04, "ERR_NO_FCI", "FCI is missing"},
    {0x05, "ERR_NO_AIP", "AIP is missing"},
    {0x06, "ERR_NO_AFL", "Cannot find AFL"},
    {0x07, "ERR_INC_AIP", "If AIP is missing mandatory setting"},
    {0x08, "ERR_INC_SFI", "If there is an error in the AFL"},
    {0x09, "ERR_INC_RECORD", "If there is an error in the AFL"},
    {0x10, "ERR_CVM_INCORRECT", "If the CVM setting is notí41hí or ë01hí"},
    {0x11, "ERR_MULTIPLE_OBJECT", "CDOL1, CVM,CDOL2"},
    {0x12, "ERR_PAN_TOO_LONG", "PAN is more than 19 digits."},
    {0x13, "ERR_TOO_MANY_BITS", "IPB has too many bits, so it cannot be displayed on the device"},
    {0x14, "ERR_ICTI_INCORRECT", "If the ICTI is wrongly personalised."},
    {0x15, "ERR_WRONG_TAG", "Card returns unexpected template (tag)"},
    {0x16, "ERR_IPB_TOO_LONG", "IPB is longer than the response IPB"},
    {0x17, "ERR_WRONG_AC_REPLY", "If mandatory elements in generate ac is missing."},
    {0x18, "ERR_CDOL_CVM_MISSING", "CDOL or CVM Missing"},
    {0x19, "ERR_INDATA_NOT_VALID",
     "Input is either too short, or the data is inconsistent with ranges and limits"},
    {0x20, "ERR_IAF_AND_NO_IPB", "Error IAF and no IPB."},
    {0x21, "ERR_LEN_NOT_VALID",
     "If either currency, amount, challenge has different length than specificed"},
    {0x22, "ERR_TERMINATE", "Only used internally, cannot be produced."},
    {0x23, "ERR_TLV_PARSE_FAIL",
     "If the TLV-parser in the device finds inconsistency of the received data"},
    {0x24, "ERR_CARD_ID_NOT_FOUNd", "Card Id not found"},
    {0x25, "ERR_NOT_ALLOWED", "Command not allowed in current state."},
    {0x26, "ERR_WRONG_VERSION", "Version on Chip Card When Version == ë00hí, or Version >í0Fhí"},
    {0x27, "ERR_VALUE_INVALID",
     "When setting the timer, if the value is wrong, cannot normally happen"},
    {0x28, "ERR_DATA_SIZE", "Input buffer size is larger than 25KB."},
    {0x29, "ERR_MAND_OBJECT_MISSING", "Mandatory Object Missing"},
    {0x30, "ERR_ATR_TCK", "TCK error"},
    {0x31, "ERR_TS_BYTE", "Card non responsive or incorrect first ATR byte"},
    {0x32, "ERR_ATR", "Error while reading ATr"},
    {0x33, "ERR_SHORT_CIRCUIT", "Short circuit error"},
    {0x34, "ERR_NO_CARD_INSERTED", "Internal error "},
    {0x40, "ERR_UNK_PROCEDURE", "procedure byte not valid"},
    {0x41, "ERR_IFSD_EXCEEDED", "Ifsd sent too many times"},
    {0x42, "ERR_I_BLOCK_EXCEEDED", "I-block sent too many times"},
    {0x43, "ERR_R_BLOCK_EXCEEDED", "R-block sent too many times"},
    {0x44, "ERR_S_BLOCK_EXCEEDED", "S-block sent too many times"},
    {0x45, "ERR_RX_TIMEOUT", "Timeout in receive block"},
    {0x46, "ERR_TS_INFO", "TS info not 254"},
    {0x47, "ERR_S1_BLOCK", "Error in S1 block"},
    {0x48, "ERR_S2_BLOCK", "Error in S2 block"},
    {0x72, "ERR_COMMUNICATION", "UART communication error"},
    {0x80, "ERR_SW_INCORRECT", "Status word not 6X XX or 9X XX"},
    {0x81, "ERR_NON_CLASSIFIED", "Non classified SW"},
    {0x82, "ERR_PIN_BLOCKED", "Pin blocked"},
    {0x83, "ERR_CARD_BLOCKED", "SW error"},
    {0x84, "ERR_SW1SW2", "Generic SW1-SW2 error from the card"},
    {0x85, "ERR_APP_BLOCKED", "SW error"},
    {0x86, "ERR_CARD_P_N_SUBMIT", "PIN not submitted in chip card."},
    {0x87, "ERR_WRONG_PIN", "Card returned 63CX in wrong context."},
    {0x88, "WARNING_SW", "Receiving a SW 62 XX or 63 XX or 9X XX from a chip card."},
    {0x89, "ERR_APPL_ERROR", "Receiving a SW 64XX or 65XX from a chip card"},
};

}  // namespace

const ErrorCodeRow* ErrorCodeTable(std::size_t* count) {
  if (count != nullptr) *count = std::size(kErrorCodes);
  return kErrorCodes;
}

const ErrorCodeRow* FindErrorCode(std::uint32_t code) {
  for (const auto& row : kErrorCodes) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

std::uint32_t ExtendedErrorCode(std::uint8_t byte) {
  return byte <= kLastExtendedError ? kExtendedErrors[byte] : 0;
}

std::string ErrorCodeText(const std::string& code, const std::string& name,
                          const std::string& description, const std::string& origin,
                          Status status) {
  return code + ", " + name + ", " + description + ", " + origin + ", " + std::to_string(status) +
         ", " + StatusDescription(status);
}

const DeviceErrorRow* DeviceErrorTable(std::size_t* count) {
  if (count != nullptr) *count = std::size(kDeviceErrors);
  return kDeviceErrors;
}

const DeviceErrorRow* FindDeviceError(std::uint8_t code) {
  for (const auto& row : kDeviceErrors) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace qvx
