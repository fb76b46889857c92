#include "reader/CardPower.h"

#include "reader/Atr.h"
#include "transport/Packet.h"

namespace qvx::driver {

namespace {

constexpr std::uint8_t kDirectConvention = 0x3B;
constexpr std::uint8_t kInverseConvention = 0x3F;

}  // namespace

NTSTATUS CCardPower::Power(PowerAction action, AtrBytes* atr) {
  atr->Clear();
  if (m_card.State() == CardState::Absent) {
    return STATUS_NO_MEDIA;
  }
  if (action == PowerAction::PowerDown) {
    if (m_card.State() > CardState::Present) {
      m_card.SetState(CardState::Present);
    }
    m_card.SetSelectedProtocol(0);
    if (!m_transport.IsPumpStoppedOrFailed()) {
      m_transport.WritePacket(PowerOff());
    }
    return STATUS_SUCCESS;
  }
  const NTSTATUS status = Reset(action);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  if (m_card.SelectedProtocol() != 0) {
    m_card.SetState(CardState::Specific);
  }
  *atr = m_card.Atr();
  return STATUS_SUCCESS;
}

NTSTATUS CCardPower::Reset(PowerAction action) {
  if (m_transport.IsPumpStoppedOrFailed()) {
    m_card.SetState(CardState::Swallowed);
    return STATUS_UNRECOGNIZED_MEDIA;
  }
  // The answer is the ATR, or a card status when there is no card (or the
  // card leaves meanwhile): both are read here.
  CTransport::Expecting expecting(m_transport, true);
  const Packet reset = action == PowerAction::ColdReset ? ColdReset() : WarmReset();
  if (!NT_SUCCESS(m_transport.WritePacket(reset))) {
    m_transport.MarkOutOfStep();
    return STATUS_UNRECOGNIZED_MEDIA;
  }
  const NTSTATUS status = CollectAtr();
  // A reset that ends without the whole ATR may leave ATR packets on their
  // way, even when a card status came first: the device sends a removal at
  // once, ahead of the ATR packets it has queued already.
  if (!NT_SUCCESS(status)) {
    m_transport.MarkOutOfStep();
  }
  return status;
}

NTSTATUS CCardPower::CollectAtr() {
  // Room for the packet that makes it too long, which is then refused.
  ByteBuffer<kMaxAtrSize + kMaxDataPerPacket> atr;
  bool first = true;
  for (;;) {
    Packet packet{};
    const NTSTATUS read = m_transport.ReadPacket(packet, CTransport::kPromptAnswerMs);
    if (read == STATUS_IO_TIMEOUT) {
      // The ATR comes at once or not at all; the card stays as it was.
      return STATUS_IO_TIMEOUT;
    }
    if (!NT_SUCCESS(read)) {
      m_transport.SetCardPresent(false);
      m_card.SetAbsent();
      return STATUS_NO_MEDIA;
    }
    const std::uint8_t type = PacketType(packet);
    if (type == kPacketControl) {
      if (IsCardStatus(packet)) {
        return CardStatusInserted(packet) ? STATUS_UNRECOGNIZED_MEDIA : STATUS_NO_MEDIA;
      }
      Swallow();
      return STATUS_IO_TIMEOUT;
    }
    if (type != kPacketData) {
      return STATUS_UNRECOGNIZED_MEDIA;
    }
    const std::uint8_t count = DataCount(packet);
    if (first) {
      first = false;
      if (count == 1) {
        Swallow();
        return STATUS_UNRECOGNIZED_MEDIA;
      }
      if (count == 0) {
        return STATUS_NO_MEDIA;
      }
      if (packet[2] != kDirectConvention && packet[2] != kInverseConvention) {
        continue;  // not the start of an ATR; what follows continues it
      }
    }
    if (count == 0) {
      return STATUS_NO_MEDIA;
    }
    if (count > kMaxDataPerPacket) {
      return STATUS_UNRECOGNIZED_MEDIA;
    }
    atr.Append(packet.data() + 2, count);
    if (atr.size() > kMaxAtrSize) {
      Swallow();
      return STATUS_IO_TIMEOUT;
    }
    if (AtrComplete(atr.data(), atr.size())) {
      CardCapabilities caps;
      if (!ParseCardCapabilities(atr.data(), atr.size(), &caps)) {
        return STATUS_UNRECOGNIZED_MEDIA;
      }
      m_card.SetAtr(atr, caps.protocols);
      return STATUS_SUCCESS;
    }
  }
}

void CCardPower::Swallow() {
  m_card.SetState(CardState::Swallowed);
  m_transport.WritePacket(PowerOff());
}

}  // namespace qvx::driver
