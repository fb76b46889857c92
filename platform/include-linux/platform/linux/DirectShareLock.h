// The direct-share lock of a reader: what every host that connects in
// direct share mode takes before asking pcscd.
#pragma once

#include <PCSC/winscard.h>

#include <string>

#include "platform/SCard.h"
#include "platform/WinTypes.h"

namespace platform {

// One attempt at the reader's direct-share lock, without waiting. Returns
// the owning handle (give it back with ReleaseDirectShareLock), or nullptr
// with *failure SCARD_E_SHARING_VIOLATION (held by another connection) or
// SCARD_F_INTERNAL_ERROR.
//
// A lock whose holder died holding it is taken all the same, and the
// reader's cancel event is set first: pcscd goes on running the dead
// holder's control call in the driver until the device gives up, so
// without the abort the newcomer would queue behind it for the device's
// whole time-out. The call returns once the driver has written its abort
// (or after a short bound when no driver watches the event).
HANDLE TakeDirectShareLock(const char* readerName, ::LONG* failure);
void ReleaseDirectShareLock(HANDLE lock);

// The named mutex that stands for a reader's direct connection.
const char* DirectShareLockPrefix();  // "Global\" + prefix + reader name

}  // namespace platform
