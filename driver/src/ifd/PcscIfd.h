// pcsc-lite's IFD handler declarations, with the C linkage pcscd looks the
// entry points up by (the header itself does not say so).
#pragma once

extern "C" {
#include <PCSC/ifdhandler.h>
}
