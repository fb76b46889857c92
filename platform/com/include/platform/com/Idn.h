// IdnToAscii: an internationalised domain name to its ASCII (punycode)
// form; the system's (winnls.h, normaliz), or the Linux layer's
// (platform/com/os).
#pragma once

#include "platform/com/ComTypes.h"
#include "platform/com/os/Idn.h"
