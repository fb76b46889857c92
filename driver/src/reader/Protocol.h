// Protocol selection for the card in the slot.
#pragma once

#include <cstdint>

#include "kernel/NtStatus.h"
#include "reader/CardState.h"

namespace qvx::driver {

// `requested` is a mask of protocol bits. *selected is the protocol in use
// afterwards: T=1 when both the caller and the card allow it, else T=0; the
// previous selection when they share neither.
NTSTATUS SetProtocol(CCardState& card, std::uint32_t requested, std::uint32_t* selected);

}  // namespace qvx::driver
