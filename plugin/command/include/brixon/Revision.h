// The plug-in's wording of the shared command checks: messages without an
// origin suffix (the origin is a field of CError), its own method labels,
// no limit on the PAN length, CError as the raised type.
#pragma once

#include "command/Revision.h"

namespace qvx::brixon {

// The code a raised check failure carries: SCARD_E_INPUT_ERROR for input
// failures (status 12), none (0) for answer and version failures.
constexpr std::uint32_t kInputErrorCode = 0xE0100003u;

const CRevision& PluginRevision();

}  // namespace qvx::brixon
