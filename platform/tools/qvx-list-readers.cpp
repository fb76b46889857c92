// qvx-list-readers: prints the PC/SC reader names, one a line, of the pcscd
// that PCSCLITE_CSOCK_NAME points at. Scripts wait on it until a reader
// shows up. Exit 0 with at least one reader, 1 with none, 2 on failure.
#include <cstdio>
#include <cstring>

#include "platform/SCard.h"

int main() {
  platform::ISCard& scard = platform::SystemSCard();
  SCARDCONTEXT context = 0;
  LONG rc = scard.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
  if (rc != SCARD_S_SUCCESS) {
    std::fprintf(stderr, "qvx-list-readers: SCardEstablishContext: 0x%08lX\n",
                 static_cast<unsigned long>(rc));
    return 2;
  }
  char* names = nullptr;
  DWORD length = SCARD_AUTOALLOCATE;
  rc = scard.ListReaders(context, nullptr, reinterpret_cast<LPSTR>(&names), &length);
  int exitCode = 1;
  if (rc == SCARD_S_SUCCESS) {
    for (const char* name = names; name != nullptr && *name != '\0';
         name += std::strlen(name) + 1) {
      std::printf("%s\n", name);
      exitCode = 0;
    }
    scard.FreeMemory(context, names);
  } else if (rc != static_cast<LONG>(SCARD_E_NO_READERS_AVAILABLE)) {
    std::fprintf(stderr, "qvx-list-readers: SCardListReaders: 0x%08lX\n",
                 static_cast<unsigned long>(rc));
    exitCode = 2;
  }
  scard.ReleaseContext(context);
  return exitCode;
}
