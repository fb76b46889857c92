// SCardGetStatusChange over the driver: the card state from
// IOCTL_SMARTCARD_GET_STATE, waits on IOCTL_SMARTCARD_IS_PRESENT and
// IS_ABSENT, readers coming and going found by listing them again.
#pragma once

#include <windows.h>
#include <winscard.h>

#include <string>
#include <vector>

#include "HandleTable.h"

namespace qvx::testing::scard {

// One entry of the caller's list, its name in UTF-8.
struct WatchedReader {
  std::string name;
  DWORD current = 0;
  DWORD event = 0;
};

// The special name that watches the number of readers.
inline constexpr char kPnpNotification[] = "\\\\?PnP?\\Notification";

// Fills each entry's event state; SCARD_S_SUCCESS once one differs from
// what the caller knew, SCARD_E_TIMEOUT, or SCARD_E_CANCELLED.
LONG WaitForStatusChange(CContext& context, DWORD timeoutMs, std::vector<WatchedReader>* readers);

}  // namespace qvx::testing::scard
