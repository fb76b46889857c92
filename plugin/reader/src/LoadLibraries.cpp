// The PC/SC library loaded at run time: its entry points, resolved once.
#include "brixon/LoadLibraries.h"

#include <string>

#include "brixon/Error.h"

namespace qvx::brixon {

namespace {

template <typename Function>
void Resolve(platform::HMODULE library, const char* name, Function& entry) {
  const platform::FARPROC address = GetProcAddress(library, name);
  if (address == nullptr) {
    throw CError("CLoadLibraries::CLoadLibraries()",
                 std::string("GetProcAddress(") + name + ") failed.", ERROR_GEN_FAILURE);
  }
  // Through void(*)(): entry points are looked up untyped on every system.
  entry = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

CLoadLibraries::CLoadLibraries(bool pcscPath) {
  if (!pcscPath) return;
  m_library = LoadLibrary(kPcscLibraryName);
  if (m_library == nullptr) {
    throw CError("CLoadLibraries::CLoadLibraries()",
                 std::string("LoadLibrary(") + kPcscLibraryName + ") failed.",
                 ERROR_FILE_NOT_FOUND);
  }
  platform::SCardTable& table = Table();
  try {
    Resolve(m_library, "SCardEstablishContext", table.establishContext);
    Resolve(m_library, "SCardReleaseContext", table.releaseContext);
    Resolve(m_library, platform::kSCardListReadersName, table.listReaders);
    Resolve(m_library, platform::kSCardConnectName, table.connect);
    Resolve(m_library, "SCardControl", table.control);
    Resolve(m_library, "SCardDisconnect", table.disconnect);
    Resolve(m_library, "SCardFreeMemory", table.freeMemory);
  } catch (...) {
    FreeLibrary(m_library);
    throw;
  }
}

}  // namespace qvx::brixon
