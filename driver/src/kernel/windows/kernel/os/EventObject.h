// The object behind KEvent on Windows: the KEVENT itself, and the waits
// over dispatcher objects other components hold (an event another
// component made, a thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "kernel/os/Wdm.h"

#include "kernel/NtStatus.h"

namespace qvx::driver {

using EventObject = KEVENT;
using WaitObject = PVOID;

inline WaitObject ObjectOf(EventObject& event) { return &event; }

// The most objects one wait takes (the wait blocks are on the stack).
constexpr std::size_t kMaxWaitAny = 8;

// STATUS_WAIT_0 + index of the first signalled object (lowest index wins),
// STATUS_TIMEOUT, or STATUS_UNSUCCESSFUL.
NTSTATUS WaitAnyObject(std::initializer_list<WaitObject> objects, std::uint32_t timeoutMs);

}  // namespace qvx::driver
