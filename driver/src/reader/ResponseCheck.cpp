#include "reader/ResponseCheck.h"

namespace qvx::driver {

namespace {

bool InRange(std::uint8_t b, int low, int high) { return b >= low && b <= high; }

}  // namespace

NTSTATUS DeviceErrorResult(std::uint8_t e) {
  switch (e) {
    case 25:
    case 33:
    case 37:
    case 40:
      return QVX_STATUS_ERROR_25;
    case 36:
      return QVX_STATUS_ERROR_36;
    case 114:
      return QVX_STATUS_ERROR_48;
    case 128:
    case 129:
    case 132:
      return QVX_STATUS_ERROR_128;
    case 130:
      return QVX_STATUS_ERROR_130;
    case 131:
    case 133:
      return QVX_STATUS_ERROR_131;
    case 32:
    case 34:
    case 35:
    case 38:
    case 39:
    case 41:
      return QVX_STATUS_ERROR_1;
    default:
      break;
  }
  if (InRange(e, 48, 52) || InRange(e, 64, 72)) return QVX_STATUS_ERROR_48;
  if (InRange(e, 134, 137)) return QVX_STATUS_ERROR_128;
  if (InRange(e, 1, 9) || InRange(e, 16, 24)) return QVX_STATUS_ERROR_1;
  return QVX_STATUS_ERROR_OTHER;
}

NTSTATUS CheckResponse(std::uint8_t required, std::uint8_t code, const std::uint8_t* data,
                       std::size_t size) {
  if (code == kResponseOk1) {
    if (required == kResponseOk1 && size > 0 && data[0] == 1) {
      return STATUS_SUCCESS;
    }
    return QVX_STATUS_UNEXPECTED_RESPONSE;
  }
  if (code >= 2 && code <= 5 && code == required) {
    return STATUS_SUCCESS;
  }
  if (code == kResponseTimeout) {
    return QVX_STATUS_RESPONSE_6;
  }
  if (code == kResponseDeviceError && size > 0) {
    return DeviceErrorResult(data[0]);
  }
  return QVX_STATUS_UNEXPECTED_RESPONSE;
}

}  // namespace qvx::driver
