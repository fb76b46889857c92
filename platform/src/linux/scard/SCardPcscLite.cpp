// The system's SCard table: libpcsclite as linked, behind the direct-share
// decorator, since pcsc-lite does not reserve a reader for a direct
// connection as Windows does.
#include <PCSC/winscard.h>

#include <memory>

#include "platform/linux/DirectShareSCard.h"
#include "platform/SCardTable.h"

namespace platform {

ISCard& SystemSCard() {
  static CDirectShareSCard instance(std::make_shared<CSCardTable>(
      SCardTable{&SCardEstablishContext, &SCardReleaseContext, &SCardListReaders, &SCardFreeMemory,
                 &SCardConnect, &SCardDisconnect, &SCardControl}));
  return instance;
}

}  // namespace platform
