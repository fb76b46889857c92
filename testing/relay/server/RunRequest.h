// One relay request carried out on the Linux side: the body in, the reply
// body out.
#pragma once

#include <optional>

#include "platform/SCard.h"
#include "wire/Wire.h"

namespace qvx::testing::relay {

// Runs `request` with `scard` (the platform's table: pcsc-lite behind the
// direct-share lock) for the calls it has, and pcsc-lite for the rest (their
// handles are pcsc-lite's as the table hands them out). Nothing for a
// malformed request: the caller drops the connection.
std::optional<wire::Bytes> RunRequest(platform::ISCard& scard, const wire::Bytes& request);

}  // namespace qvx::testing::relay
