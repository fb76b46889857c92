// pcsc-lite's WinSCard, with its own global DWORD and LONG (unsigned long and
// long, wider than Windows'), which the code over platform::ISCard spells
// ::DWORD and ::LONG.
#pragma once

#include <PCSC/winscard.h>

// pcsc-lite defines INFINITE as a macro; platform's INFINITE is the same value.
#undef INFINITE

namespace platform {

// The PC/SC library as loaded at run time, and its names of the entry
// points Windows has in A and W forms (pcsc-lite has one form).
struct SCardLibraryNames {
  const char* library;
  const char* listReaders;
  const char* connect;
};
constexpr SCardLibraryNames kSCardLibrary{"libpcsclite.so.1", "SCardListReaders", "SCardConnect"};

}  // namespace platform
