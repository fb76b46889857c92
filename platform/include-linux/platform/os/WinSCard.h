// pcsc-lite's WinSCard, with its own global DWORD and LONG (unsigned long and
// long, wider than Windows'), which the code over platform::ISCard spells
// ::DWORD and ::LONG.
#pragma once

#include <PCSC/winscard.h>

// pcsc-lite defines INFINITE as a macro; platform's INFINITE is the same value.
#undef INFINITE
