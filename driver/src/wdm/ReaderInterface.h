// The device interface class of smart-card readers, which no MinGW header
// defines: {50DD5230-BA8A-11D1-BF5D-0000F805F530}.
#pragma once

#include "kernel/os/Wdm.h"

namespace qvx::driver::wdm {

constexpr GUID kSmartcardReaderInterface = {
    0x50DD5230, 0xBA8A, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}};

}  // namespace qvx::driver::wdm
