#include "transport/Transport.h"

#include <algorithm>
#include <utility>

#include "kernel/DebugPrint.h"

namespace qvx::driver {

namespace {

constexpr std::uint16_t kRequiredPacketSize = 8;

void PrintPacket(const char* label, const Packet& packet) {
  DbgPrint("Meridel: %s %02x %02x %02x %02x  %02x %02x %02x %02x", label, packet[0], packet[1],
           packet[2], packet[3], packet[4], packet[5], packet[6], packet[7]);
}

// A round that ends: at least 1 ms, never kInfinite.
std::uint32_t RoundMs(std::uint32_t round) {
  return std::min<std::uint32_t>(std::max<std::uint32_t>(round, 1), kInfinite - 1);
}

}  // namespace

CTransport::CTransport(KOwned<ILowerEdge> lower, ICardEvents& events, std::uint32_t writeRoundMs)
    : m_lower(std::move(lower)), m_events(events), m_writeRoundMs(RoundMs(writeRoundMs)) {}

CTransport::~CTransport() {
  StopReadPump();
  // The lower edge returns only when no completion can still reach us.
  m_lower.Reset();
}

NTSTATUS CTransport::Configure() {
  UsbDescriptors descriptors;
  const NTSTATUS status = m_lower->ReadDescriptors(descriptors);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  std::uint16_t inSize = 0;
  std::uint16_t outSize = 0;
  for (const EndpointInfo& endpoint : descriptors.endpoints) {
    if ((endpoint.address & 0x80u) != 0) {
      inSize = endpoint.maxPacketSize;
    } else {
      outSize = endpoint.maxPacketSize;
    }
  }
  // Every transfer moves one maximum packet into or out of an 8-byte packet.
  if (inSize != kRequiredPacketSize || outSize != kRequiredPacketSize) {
    DbgPrint("Meridel: unsupported pipe packet sizes in %u out %u", inSize, outSize);
    return STATUS_UNSUCCESSFUL;
  }
  m_descriptors = descriptors;
  m_configured.store(true);
  return STATUS_SUCCESS;
}

void CTransport::Unconfigure() { m_configured.store(false); }

void CTransport::AbortPipes() { m_lower->AbortPipes(); }

NTSTATUS CTransport::ArmReadPump() {
  {
    SpinLockGuard guard(m_pumpLock);
    if (m_pumpStopped.load() || m_readFailed.load() || m_stopping > 0 || !Configured()) {
      return STATUS_INVALID_DEVICE_STATE;
    }
    if (m_inOutstanding) {
      return STATUS_SUCCESS;  // one IN transfer at a time; this one is still out
    }
    m_inSlot.fill(0);
    m_inOutstanding = true;
  }
  const NTSTATUS status = m_lower->SubmitIn(InCompletion(&CTransport::InCompleted, this));
  if (!NT_SUCCESS(status)) {
    {
      SpinLockGuard guard(m_pumpLock);
      m_inOutstanding = false;
    }
    // Nothing will complete now, so a reader waiting for a packet would wait
    // forever: end the pump as a failed read instead.
    EndPump(false);
    return STATUS_INVALID_DEVICE_STATE;
  }
  // A stop that came between the check above and the submit found the
  // transfer counted but not yet at the lower edge, so its cancel missed
  // it: cancel it now, or the stop waits for a packet that may never come.
  bool stopped = false;
  {
    SpinLockGuard guard(m_pumpLock);
    stopped = m_stopping > 0 && m_inOutstanding;
  }
  if (stopped) {
    m_lower->CancelIn();
  }
  return STATUS_SUCCESS;
}

void CTransport::InCompleted(void* self, NTSTATUS status, const Packet& packet) {
  static_cast<CTransport*>(self)->OnInCompleted(status, packet);
}

void CTransport::OutCompleted(void* self, NTSTATUS status) {
  auto* transport = static_cast<CTransport*>(self);
  if (NT_SUCCESS(status)) {
    transport->m_writeDone.Set();
  } else {
    transport->m_writeFailed.Set();
  }
}

void CTransport::OnInCompleted(NTSTATUS status, const Packet& packet) {
  if (!NT_SUCCESS(status)) {
    {
      SpinLockGuard guard(m_pumpLock);
      m_inOutstanding = false;
    }
    EndPump(status == STATUS_CANCELLED);
    return;
  }
  if (IsCardStatus(packet) && (packet[2] == kCardInserted || packet[2] == 0)) {
    const bool inserted = packet[2] == kCardInserted;
    m_cardPresent.store(inserted);
    m_events.OnCardStatus(inserted);
  }

  // Only an exchange that waits for the device's answer gets packets; what
  // comes while none waits belongs to nobody (a late answer to an aborted
  // command) and would otherwise be taken by the next request as its own.
  // Decided under the pump lock, which ends an exchange's expecting too.
  bool stopping = false;
  bool rearm = true;
  const char* stray = nullptr;
  {
    SpinLockGuard guard(m_pumpLock);
    m_inOutstanding = false;
    stopping = m_stopping > 0;
    m_inSlot = packet;
    if (IsCardStatus(packet)) {
      m_cardStatus.Set();
      if (m_expecting && m_expectingCardStatus) {
        m_packetReady.Set();
        rearm = false;
      }
    } else if (IsEventHeader(packet, kEvent0B)) {
      // The device has ended its operation and is idle: whatever abort it
      // answers, nothing more is owed for it.
      m_abortAnswered.store(true);
      if (m_expecting) {
        m_event0B.Set();
      } else {
        stray = "answered abort";
      }
    } else if (IsEventHeader(packet, kEvent07)) {
      if (m_expecting) {
        m_event07.Set();
      } else {
        stray = "stray packet";
      }
    } else if (IsEventHeader(packet, kEvent0A)) {
      // Nothing to do but keep listening.
    } else if (IsEventHeader(packet, kEvent06) && m_ignoreEvent6.load()) {
      // Nobody expects it.
    } else if (m_expecting) {
      m_packetReady.Set();
      rearm = false;  // the reader of the packet re-arms
    } else {
      stray = "stray packet";
    }
  }
  if (stray != nullptr) {
    DropStray(stray, packet);
  }

  if (stopping) {
    // A stop is waiting for the pump to end; this completion raced the cancel.
    EndPump(true);
  } else if (rearm) {
    ArmReadPump();
  }
}

void CTransport::DropStray(const char* what, const Packet& packet) {
  DbgPrint("Meridel: dropped %s: %02x %02x %02x %02x  %02x %02x %02x %02x", what, packet[0],
           packet[1], packet[2], packet[3], packet[4], packet[5], packet[6], packet[7]);
}

void CTransport::EndPump(bool cancelled) {
  if (cancelled) {
    m_pumpStopped.store(true);
  } else {
    m_readFailed.store(true);
    m_events.OnReadFailed();
  }
  m_cardPresent.store(false);
  m_readError.Set();
}

void CTransport::StopReadPump() {
  bool outstanding = false;
  {
    SpinLockGuard guard(m_pumpLock);
    ++m_stopping;
    outstanding = m_inOutstanding;
  }
  if (outstanding) {
    m_lower->CancelIn();
    m_readError.Wait(kInfinite);
  } else {
    // No transfer to cancel: still end the pump, so that a re-arm after the
    // stop fails and a reader gets a read error instead of waiting forever.
    EndPump(true);
  }
  // The read error stays set until ClearFlags(): reads after the stop fail
  // at once instead of waiting for a pump that no longer runs.
  SpinLockGuard guard(m_pumpLock);
  --m_stopping;
}

void CTransport::ClearFlags() {
  m_pumpStopped.store(false);
  m_readFailed.store(false);
  m_readError.Clear();
  m_packetReady.Clear();
}

bool CTransport::IsPumpStoppedOrFailed() const {
  return m_pumpStopped.load() || m_readFailed.load();
}

NTSTATUS CTransport::WritePacket(const Packet& packet) {
  KMutexGuard gate(m_writeGate);
  return WriteLocked(packet);
}

NTSTATUS CTransport::WriteLocked(const Packet& packet) {
  if (!Configured()) {
    return STATUS_INVALID_DEVICE_STATE;
  }
  if (IsAbort(packet)) {
    m_abortFlag = true;
  }
  m_writeDone.Clear();
  m_writeFailed.Clear();
  const NTSTATUS status =
      m_lower->SubmitOut(packet, OutCompletion(&CTransport::OutCompleted, this));
  if (!NT_SUCCESS(status)) {
    return status;
  }
  for (;;) {
    const NTSTATUS wait = KEvent::WaitAny({&m_writeDone, &m_writeFailed}, m_writeRoundMs);
    if (wait == STATUS_WAIT_0) {
      return STATUS_SUCCESS;
    }
    if (wait == STATUS_WAIT_0 + 1) {
      return QVX_STATUS_WRITE_FAILED;
    }
    if (wait != STATUS_TIMEOUT) {
      return STATUS_UNSUCCESSFUL;
    }
    PrintPacket("STATUS_TIMEOUT, data block:", packet);
  }
}

NTSTATUS CTransport::ReadPacket(Packet& packet, std::uint32_t timeoutMs) {
  packet.fill(0);
  const NTSTATUS wait =
      KEvent::WaitAny({&m_packetReady, &m_event0B, &m_event07, &m_readError}, timeoutMs);
  switch (wait) {
    case STATUS_WAIT_0: {
      {
        SpinLockGuard guard(m_pumpLock);
        packet = m_inSlot;
      }
      ArmReadPump();
      return STATUS_SUCCESS;
    }
    case STATUS_WAIT_0 + 1:
      return QVX_STATUS_EVENT_0B;
    case STATUS_WAIT_0 + 2:
      return QVX_STATUS_EVENT_07;
    case STATUS_WAIT_0 + 3:
      return QVX_STATUS_READ_FAILED;
    case STATUS_TIMEOUT:
      return STATUS_IO_TIMEOUT;
    default:
      return STATUS_UNSUCCESSFUL;
  }
}

bool CTransport::AbortFlag() {
  KMutexGuard gate(m_writeGate);
  return m_abortFlag;
}

NTSTATUS CTransport::SubmitWindowed(const Packet& packet, bool& aborted) {
  KMutexGuard gate(m_writeGate);
  aborted = m_abortFlag;
  if (aborted) {
    return STATUS_SUCCESS;
  }
  if (!Configured()) {
    return STATUS_INVALID_DEVICE_STATE;
  }
  {
    SpinLockGuard guard(m_windowLock);
    m_windowPackets[(m_windowHead + m_windowInFlight) % kOutWindow] = packet;
    ++m_windowInFlight;
  }
  const NTSTATUS status =
      m_lower->SubmitOut(packet, OutCompletion(&CTransport::WindowedCompleted, this));
  if (!NT_SUCCESS(status)) {
    SpinLockGuard guard(m_windowLock);
    --m_windowInFlight;
  }
  return status;
}

void CTransport::WindowedCompleted(void* context, NTSTATUS status) {
  static_cast<CTransport*>(context)->OnWindowedDone(status);
}

void CTransport::OnWindowedDone(NTSTATUS status) {
  {
    SpinLockGuard guard(m_windowLock);
    m_windowHead = (m_windowHead + 1) % kOutWindow;
    --m_windowInFlight;
    if (!NT_SUCCESS(status) && NT_SUCCESS(m_windowFailure)) {
      m_windowFailure = QVX_STATUS_WRITE_FAILED;
    }
  }
  m_windowMoved.Set();
}

NTSTATUS CTransport::WaitWindow(std::size_t inFlight) {
  for (;;) {
    Packet oldest{};
    {
      SpinLockGuard guard(m_windowLock);
      const bool failed = !NT_SUCCESS(m_windowFailure);
      // After a failure the rest still has to come back before the request
      // ends, so that nothing of it completes into the next one.
      if (m_windowInFlight <= (failed ? 0 : inFlight)) {
        return m_windowFailure;
      }
      oldest = m_windowPackets[m_windowHead];
    }
    const NTSTATUS wait = m_windowMoved.Wait(m_writeRoundMs);
    if (wait == STATUS_TIMEOUT) {
      PrintPacket("STATUS_TIMEOUT, data block:", oldest);
    } else if (wait != STATUS_WAIT_0) {
      return STATUS_UNSUCCESSFUL;
    }
  }
}

NTSTATUS CTransport::SendRequest(std::uint8_t command, const std::uint8_t* data, std::size_t length,
                                 Response& response) {
  response = Response{};
  if (length > kMaxRequestLength || (length > 0 && data == nullptr)) {
    return STATUS_INVALID_PARAMETER;
  }
  Expecting expecting(*this, false);
  {
    SpinLockGuard guard(m_windowLock);
    m_windowFailure = STATUS_SUCCESS;
  }
  // An abort either comes first and this command is never sent, or comes
  // after its header and ends it at the device.
  bool aborted = false;
  NTSTATUS status =
      SubmitWindowed(CommandHeader(command, static_cast<std::uint16_t>(length)), aborted);
  if (NT_SUCCESS(status) && aborted) {
    return QVX_STATUS_EVENT_0B;
  }
  // An abort written meanwhile ends the data here; the device still answers.
  for (std::size_t offset = 0; NT_SUCCESS(status) && !aborted && offset < length;) {
    status = WaitWindow(kOutWindow - 1);
    if (!NT_SUCCESS(status)) {
      break;
    }
    const std::size_t count = std::min(kMaxDataPerPacket, length - offset);
    status = SubmitWindowed(DataPacket(data + offset, count), aborted);
    offset += count;
  }
  const NTSTATUS sent = WaitWindow(0);
  if (NT_SUCCESS(status)) {
    status = sent;
  }
  if (!NT_SUCCESS(status)) {
    MarkOutOfStep();
    return status;
  }

  Packet packet{};
  status = ReadPacket(packet);
  if (!NT_SUCCESS(status)) {
    // The events 0B and 07 end the device's operation: nothing more comes.
    if (status != QVX_STATUS_EVENT_0B && status != QVX_STATUS_EVENT_07) {
      MarkOutOfStep();
    }
    return status;
  }
  if (PacketType(packet) != kPacketHeader || AnnouncedLength(packet) > kMaxResponseLength) {
    PrintPacket("!!ERROR: Invalid command from reader:", packet);
    MarkOutOfStep();
    return QVX_STATUS_FRAMING;
  }
  // Filled in place: a response is too large to copy around on a kernel
  // stack. It stays empty on failure.
  response.code = ResponseCode(packet);
  response.length = AnnouncedLength(packet);
  while (response.data.size() < response.length) {
    status = ReadPacket(packet);
    if (!NT_SUCCESS(status)) {
      MarkOutOfStep();
      response = Response{};
      return status;
    }
    if (!IsValidDataPacket(packet)) {
      PrintPacket("!!ERROR: Invalid data from reader:", packet);
      MarkOutOfStep();
      response = Response{};
      return QVX_STATUS_FRAMING;
    }
    const std::size_t take =
        std::min<std::size_t>(DataCount(packet), response.length - response.data.size());
    response.data.Append(packet.data() + 2, take);
  }
  return STATUS_SUCCESS;
}

NTSTATUS CTransport::CardStatusQuery() {
  ArmReadPump();
  m_cardStatus.Clear();
  const NTSTATUS status = WritePacket(qvx::driver::CardStatusQuery());
  if (!NT_SUCCESS(status)) {
    return status;
  }
  // The read error ends the wait too: a pump that fails would never bring
  // the card status. A device that does not answer at all must not keep
  // the start waiting for ever.
  const NTSTATUS wait = KEvent::WaitAny({&m_cardStatus, &m_readError}, kPromptAnswerMs);
  if (wait == STATUS_WAIT_0) {
    return STATUS_SUCCESS;
  }
  return wait == STATUS_TIMEOUT ? STATUS_IO_TIMEOUT : QVX_STATUS_READ_FAILED;
}

}  // namespace qvx::driver
