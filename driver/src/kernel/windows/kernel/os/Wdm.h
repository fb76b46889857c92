// The kernel's headers, as every file of the Windows kernel build takes
// them. MinGW's wdm.h defines two bit-test intrinsics that its intrin.h
// defines too; C accepts the pair, C++ refuses it, so intrin.h is told
// they exist.
#pragma once

#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ddk/wdm.h>
