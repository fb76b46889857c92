// ISCard over libpcsclite, behind the direct-share decorator: pcsc-lite
// does not reserve a reader for a direct connection as Windows does.
#include <PCSC/winscard.h>

#include <memory>

#include "platform/DirectShareSCard.h"
#include "platform/SCard.h"

namespace {

class PcscLiteSCard final : public platform::ISCard {
 public:
  LONG EstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2,
                        LPSCARDCONTEXT context) override {
    return SCardEstablishContext(scope, reserved1, reserved2, context);
  }

  LONG ReleaseContext(SCARDCONTEXT context) override { return SCardReleaseContext(context); }

  LONG ListReaders(SCARDCONTEXT context, LPCSTR groups, LPSTR readers,
                   LPDWORD readersLength) override {
    return SCardListReaders(context, groups, readers, readersLength);
  }

  LONG FreeMemory(SCARDCONTEXT context, LPCVOID memory) override {
    return SCardFreeMemory(context, memory);
  }

  LONG Connect(SCARDCONTEXT context, LPCSTR reader, DWORD shareMode, DWORD preferredProtocols,
               LPSCARDHANDLE card, LPDWORD activeProtocol) override {
    return SCardConnect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
  }

  LONG Disconnect(SCARDHANDLE card, DWORD disposition) override {
    return SCardDisconnect(card, disposition);
  }

  LONG Control(SCARDHANDLE card, DWORD controlCode, LPCVOID sendBuffer, DWORD sendLength,
               LPVOID receiveBuffer, DWORD receiveLength, LPDWORD bytesReturned) override {
    return SCardControl(card, controlCode, sendBuffer, sendLength, receiveBuffer, receiveLength,
                        bytesReturned);
  }
};

}  // namespace

namespace platform {

ISCard& SystemSCard() {
  static CDirectShareSCard instance(std::make_shared<PcscLiteSCard>());
  return instance;
}

}  // namespace platform
