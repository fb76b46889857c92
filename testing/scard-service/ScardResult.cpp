#include "ScardResult.h"

#include <winscard.h>

namespace qvx::testing::scard {

LONG ScardResult(DWORD win32Error) {
  switch (win32Error) {
    case ERROR_SUCCESS:
      return SCARD_S_SUCCESS;
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_NOT_READY:
      return static_cast<LONG>(SCARD_W_REMOVED_CARD);
    case ERROR_UNRECOGNIZED_MEDIA:
      return static_cast<LONG>(SCARD_W_UNRESPONSIVE_CARD);
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_HANDLE:
    case ERROR_ACCESS_DENIED:  // a device being removed (delete pending)
      return static_cast<LONG>(SCARD_E_READER_UNAVAILABLE);
    case ERROR_OPERATION_ABORTED:
    case ERROR_CANCELLED:
      return static_cast<LONG>(SCARD_E_CANCELLED);
    case WAIT_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
      return static_cast<LONG>(SCARD_E_TIMEOUT);
    case ERROR_INSUFFICIENT_BUFFER:
    case ERROR_MORE_DATA:
      return static_cast<LONG>(SCARD_E_INSUFFICIENT_BUFFER);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return static_cast<LONG>(SCARD_E_NO_MEMORY);
    default:
      return static_cast<LONG>(win32Error);
  }
}

}  // namespace qvx::testing::scard
