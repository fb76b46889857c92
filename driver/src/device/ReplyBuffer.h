// Handing a reply to the caller's output buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/Bytes.h"
#include "kernel/NtStatus.h"

namespace qvx::driver {

// A reply that does not fit is not cut short: the caller gets
// STATUS_BUFFER_TOO_SMALL and nothing, never a truncated answer that reads
// as a whole one. *returned is 0 unless the reply was copied.
NTSTATUS CopyReply(ByteView reply, std::uint8_t* out, std::size_t capacity, std::size_t* returned);

}  // namespace qvx::driver
