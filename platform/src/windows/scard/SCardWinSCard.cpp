// The system's SCard table: WinSCard as linked. Windows reserves a reader for
// a direct connection itself, so nothing stands in front of it.
#include "platform/SCardTable.h"

namespace platform {

ISCard& SystemSCard() {
  static CSCardTable instance(SCardTable{&SCardEstablishContext, &SCardReleaseContext,
                                         &SCardListReadersA, &SCardFreeMemory, &SCardConnectA,
                                         &SCardDisconnect, &SCardControl});
  return instance;
}

}  // namespace platform
