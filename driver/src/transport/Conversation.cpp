// Keeping the conversation with the device in step: operations, the
// answers an exchange waits for, and resynchronisation after an abort or an
// exchange cut short (docs/device.md, "Keeping in step").
#include "kernel/DebugPrint.h"
#include "kernel/Time.h"
#include "transport/Transport.h"

namespace qvx::driver {

CTransport::Expecting::Expecting(CTransport& transport, bool cardStatus) : m_transport(transport) {
  m_transport.BeginExpecting(cardStatus);
}

CTransport::Expecting::~Expecting() { m_transport.EndExpecting(); }

void CTransport::BeginExpecting(bool cardStatus) {
  SpinLockGuard guard(m_pumpLock);
  m_expecting = true;
  m_expectingCardStatus = cardStatus;
}

void CTransport::EndExpecting() {
  bool unread = false;
  Packet stale{};
  {
    SpinLockGuard guard(m_pumpLock);
    m_expecting = false;
    m_expectingCardStatus = false;
    // An event or packet that came after the exchange stopped reading is
    // nobody's answer; a packet left in the slot would also hold the pump.
    m_event0B.Clear();
    m_event07.Clear();
    unread = m_packetReady.Wait(0) == STATUS_SUCCESS;
    stale = m_inSlot;
  }
  if (unread) {
    DropStray("unread packet", stale);
    MarkOutOfStep();
    ArmReadPump();
  }
}

void CTransport::BeginOperation() {
  if (OutOfStep()) {
    Resync();
  }
  m_abortAnswered.store(false);
  KMutexGuard gate(m_writeGate);
  m_abortFlag = false;
}

void CTransport::EndOperation() {
  // An abort the device answered with 01 03 0B left it idle; one that came
  // while it was idle, or after its last answer, left nothing or a 01 03 0B
  // still on its way: only a fence tells which.
  if (AbortFlag() && !AbortAnswered()) {
    MarkOutOfStep();
  }
  if (OutOfStep()) {
    Resync();
  }
}

NTSTATUS CTransport::Resync() {
  if (IsPumpStoppedOrFailed() || !Configured()) {
    return QVX_STATUS_READ_FAILED;  // nothing to talk to until the next start
  }
  DbgPrint("Meridel: resynchronising with the device");
  Expecting expecting(*this, false);
  // Armed here too: a pump held by a packet nobody read is free again.
  ArmReadPump();
  NTSTATUS status = WritePacket(CommandHeader(kResyncCommand, 0));
  if (!NT_SUCCESS(status)) {
    MarkOutOfStep();
    return status;
  }
  const std::uint64_t deadline = TickMs() + kPromptAnswerMs;
  for (;;) {
    Packet packet{};
    status = ReadPacket(packet, RemainingMs(deadline));
    if (status == QVX_STATUS_EVENT_0B || status == QVX_STATUS_EVENT_07) {
      continue;  // owed by the operation that was cut short
    }
    if (!NT_SUCCESS(status)) {
      DbgPrint("Meridel: resynchronisation failed (0x%08x)", static_cast<unsigned>(status));
      MarkOutOfStep();
      return status;
    }
    if (PacketType(packet) == kPacketHeader && ResponseCode(packet) == kResyncResponse &&
        AnnouncedLength(packet) <= kMaxResponseLength) {
      status = ReadOwedData(AnnouncedLength(packet), RemainingMs(deadline));
      if (!NT_SUCCESS(status)) {
        MarkOutOfStep();
        return status;
      }
      m_outOfStep.store(false);
      return STATUS_SUCCESS;
    }
    DropStray("owed packet", packet);
  }
}

NTSTATUS CTransport::ReadOwedData(std::uint16_t length, std::uint32_t timeoutMs) {
  const std::uint64_t deadline = TickMs() + timeoutMs;
  for (std::size_t read = 0; read < length;) {
    Packet packet{};
    const NTSTATUS status = ReadPacket(packet, RemainingMs(deadline));
    if (!NT_SUCCESS(status)) {
      return status;
    }
    if (!IsValidDataPacket(packet)) {
      DropStray("invalid data", packet);
      return QVX_STATUS_FRAMING;
    }
    read += DataCount(packet);
  }
  return STATUS_SUCCESS;
}

}  // namespace qvx::driver
