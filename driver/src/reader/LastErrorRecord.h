// The 4-byte last-error record: a category (0 none, 1 to 13) and detail
// bytes, read by the host right after every vendor request.
#pragma once

#include <cstdint>

#include "contract/LastError.h"
#include "kernel/Bytes.h"
#include "kernel/NtStatus.h"

namespace qvx::driver {

using qvx::contract::LastErrorRecord;

// The record of a failed exchange. `data` is the response data of the
// failing answer (for the local input checks: the reason byte). A result
// that ends without a record (STATUS_NO_MEDIA) gives all zeros.
LastErrorRecord RecordForResult(NTSTATUS result, ByteView data);

}  // namespace qvx::driver
