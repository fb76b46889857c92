// The object behind KEvent on Linux: a platform event, and the waits over
// platform handles that other components made (a named event's).
#pragma once

#include <cstdint>
#include <initializer_list>

#include "kernel/NtStatus.h"
#include "kernel/Wait.h"
#include "platform/WinTypes.h"

namespace qvx::driver {

using EventObject = platform::HANDLE;
using WaitObject = platform::HANDLE;

inline WaitObject ObjectOf(EventObject event) { return event; }

// STATUS_WAIT_0 + index of the first signalled handle (lowest index wins),
// STATUS_TIMEOUT, or STATUS_UNSUCCESSFUL.
NTSTATUS WaitAnyObject(std::initializer_list<WaitObject> objects, std::uint32_t timeoutMs);
// Like WaitAnyObject, but takes nothing: an automatic event stays signalled
// for whoever looks next. Events only.
NTSTATUS WaitSignalledObject(std::initializer_list<WaitObject> objects, std::uint32_t timeoutMs);

}  // namespace qvx::driver
