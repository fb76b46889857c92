#include "ifd/ResponseCodes.h"

namespace qvx::driver {

RESPONSECODE ToResponseCode(Entry entry, NTSTATUS status) {
  if (NT_SUCCESS(status)) {
    // A card-tracking wait that timed out has nothing to report either.
    return IFD_SUCCESS;
  }
  switch (status) {
    case STATUS_DEVICE_REMOVED:
    case STATUS_DELETE_PENDING:
      return IFD_NO_SUCH_DEVICE;
    case STATUS_BUFFER_TOO_SMALL:
      return IFD_ERROR_INSUFFICIENT_BUFFER;
    case STATUS_INVALID_PARAMETER:
      // An unknown control code: pcscd makes it SCARD_E_UNSUPPORTED_FEATURE.
      return entry == Entry::Control ? IFD_ERROR_NOT_SUPPORTED : IFD_COMMUNICATION_ERROR;
    case STATUS_NO_MEDIA:
      if (entry == Entry::Transmit) return IFD_ICC_NOT_PRESENT;
      break;
    case STATUS_IO_TIMEOUT:
      if (entry == Entry::Transmit) return IFD_RESPONSE_TIMEOUT;
      break;
    default:
      break;
  }
  return entry == Entry::Power ? IFD_ERROR_POWER_ACTION : IFD_COMMUNICATION_ERROR;
}

}  // namespace qvx::driver
