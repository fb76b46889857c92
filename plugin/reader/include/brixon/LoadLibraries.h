// CLoadLibraries: the PC/SC library loaded at run time ("WinSCard.dll";
// libpcsclite on Linux), offered as the platform's SCard seam so that
// tests can put a fake in its place. A plain table of the resolved entry
// points: the direct-share exclusivity is platform::CDirectShareSCard's.
#pragma once

#include "platform/Module.h"
#include "platform/SCardTable.h"

namespace qvx::brixon {

constexpr const char* kPcscLibraryName = platform::kSCardLibraryName;

class CLoadLibraries : public platform::CSCardTable {
 public:
  // On the PC/SC path loads the library and resolves its entry points;
  // raises "LoadLibrary(<name>) failed." or "GetProcAddress(<entry>)
  // failed.". On the direct path nothing is loaded and every call answers
  // SCARD_E_NO_SERVICE.
  explicit CLoadLibraries(bool pcscPath = true);
  // The library stays mapped: pcsc-lite keeps process-wide state (its
  // context map and a cleanup at exit) that must not lose its code.
  ~CLoadLibraries() override = default;
  CLoadLibraries(const CLoadLibraries&) = delete;
  CLoadLibraries& operator=(const CLoadLibraries&) = delete;

 private:
  platform::HMODULE m_library = nullptr;
};

}  // namespace qvx::brixon
