#include "transport/Transport.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "kernel/DebugPrint.h"

namespace qvxrdr {

namespace {

constexpr std::uint16_t kRequiredPacketSize = 8;

void PrintPacket(const char* label, const Packet& packet) {
  DbgPrint("Meridel: %s %02x %02x %02x %02x  %02x %02x %02x %02x", label, packet[0], packet[1],
           packet[2], packet[3], packet[4], packet[5], packet[6], packet[7]);
}

std::uint32_t ToWaitMs(std::chrono::milliseconds round) {
  const auto count = std::max<std::chrono::milliseconds::rep>(round.count(), 1);
  return count >= static_cast<std::chrono::milliseconds::rep>(kInfinite)
             ? kInfinite - 1
             : static_cast<std::uint32_t>(count);
}

}  // namespace

CTransport::CTransport(std::unique_ptr<ILowerEdge> lower, ICardEvents& events,
                       std::chrono::milliseconds writeRound)
    : lower_(std::move(lower)), events_(events), writeRound_(writeRound) {
  if (!lower_) {
    throw std::invalid_argument("CTransport needs a lower edge");
  }
}

CTransport::~CTransport() {
  StopReadPump();
  // The lower edge returns only when no completion can still reach us.
  lower_.reset();
}

NTSTATUS CTransport::Configure() {
  UsbDescriptors descriptors;
  const NTSTATUS status = lower_->ReadDescriptors(descriptors);
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
  descriptors_ = std::move(descriptors);
  configured_.store(true);
  return STATUS_SUCCESS;
}

void CTransport::Unconfigure() { configured_.store(false); }

void CTransport::AbortPipes() { lower_->AbortPipes(); }

NTSTATUS CTransport::ArmReadPump() {
  {
    SpinLockGuard guard(pumpLock_);
    if (pumpStopped_.load() || readFailed_.load() || stopping_ > 0 || !Configured()) {
      return STATUS_INVALID_DEVICE_STATE;
    }
    if (inOutstanding_) {
      return STATUS_SUCCESS;  // one IN transfer at a time; this one is still out
    }
    inSlot_.fill(0);
    inOutstanding_ = true;
  }
  const NTSTATUS status =
      lower_->SubmitIn([this](NTSTATUS result, const Packet& packet) { OnInCompleted(result, packet); });
  if (!NT_SUCCESS(status)) {
    {
      SpinLockGuard guard(pumpLock_);
      inOutstanding_ = false;
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
    SpinLockGuard guard(pumpLock_);
    stopped = stopping_ > 0 && inOutstanding_;
  }
  if (stopped) {
    lower_->CancelIn();
  }
  return STATUS_SUCCESS;
}

void CTransport::OnInCompleted(NTSTATUS status, const Packet& packet) {
  if (!NT_SUCCESS(status)) {
    {
      SpinLockGuard guard(pumpLock_);
      inOutstanding_ = false;
    }
    EndPump(status == STATUS_CANCELLED);
    return;
  }
  if (IsCardStatus(packet) && (packet[2] == kCardInserted || packet[2] == 0)) {
    const bool inserted = packet[2] == kCardInserted;
    cardPresent_.store(inserted);
    events_.OnCardStatus(inserted);
  }

  // Only an exchange that waits for the device's answer gets packets; what
  // comes while none waits belongs to nobody (a late answer to an aborted
  // command) and would otherwise be taken by the next request as its own.
  // Decided under the pump lock, which ends an exchange's expecting too.
  bool stopping = false;
  bool rearm = true;
  const char* stray = nullptr;
  {
    SpinLockGuard guard(pumpLock_);
    inOutstanding_ = false;
    stopping = stopping_ > 0;
    inSlot_ = packet;
    if (IsCardStatus(packet)) {
      cardStatus_.Set();
      if (expecting_ && expectingCardStatus_) {
        packetReady_.Set();
        rearm = false;
      }
    } else if (IsEventHeader(packet, kEvent0B)) {
      // The device has ended its operation and is idle: whatever abort it
      // answers, nothing more is owed for it.
      abortAnswered_.store(true);
      if (expecting_) {
        event0B_.Set();
      } else {
        stray = "answered abort";
      }
    } else if (IsEventHeader(packet, kEvent07)) {
      if (expecting_) {
        event07_.Set();
      } else {
        stray = "stray packet";
      }
    } else if (IsEventHeader(packet, kEvent0A)) {
      // Nothing to do but keep listening.
    } else if (IsEventHeader(packet, kEvent06) && ignoreEvent6_.load()) {
      // Nobody expects it.
    } else if (expecting_) {
      packetReady_.Set();
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
  char label[48];
  std::snprintf(label, sizeof label, "dropped %s:", what);
  PrintPacket(label, packet);
}

void CTransport::EndPump(bool cancelled) {
  if (cancelled) {
    pumpStopped_.store(true);
  } else {
    readFailed_.store(true);
    events_.OnReadFailed();
  }
  cardPresent_.store(false);
  readError_.Set();
}

void CTransport::StopReadPump() {
  bool outstanding = false;
  {
    SpinLockGuard guard(pumpLock_);
    ++stopping_;
    outstanding = inOutstanding_;
  }
  if (outstanding) {
    lower_->CancelIn();
    readError_.Wait(kInfinite);
  } else {
    // No transfer to cancel: still end the pump, so that a re-arm after the
    // stop fails and a reader gets a read error instead of waiting forever.
    EndPump(true);
  }
  // The read error stays set until ClearFlags(): reads after the stop fail
  // at once instead of waiting for a pump that no longer runs.
  SpinLockGuard guard(pumpLock_);
  --stopping_;
}

void CTransport::ClearFlags() {
  pumpStopped_.store(false);
  readFailed_.store(false);
  readError_.Clear();
  packetReady_.Clear();
}

bool CTransport::IsPumpStoppedOrFailed() const { return pumpStopped_.load() || readFailed_.load(); }

NTSTATUS CTransport::WritePacket(const Packet& packet) {
  KMutexGuard gate(writeGate_);
  return WriteLocked(packet);
}

NTSTATUS CTransport::WriteLocked(const Packet& packet) {
  if (!Configured()) {
    return STATUS_INVALID_DEVICE_STATE;
  }
  if (IsAbort(packet)) {
    abortFlag_ = true;
  }
  writeDone_.Clear();
  writeFailed_.Clear();
  const NTSTATUS status = lower_->SubmitOut(packet, [this](NTSTATUS result) {
    if (NT_SUCCESS(result)) {
      writeDone_.Set();
    } else {
      writeFailed_.Set();
    }
  });
  if (!NT_SUCCESS(status)) {
    return status;
  }
  const std::uint32_t round = ToWaitMs(writeRound_);
  for (;;) {
    const NTSTATUS wait = KEvent::WaitAny({&writeDone_, &writeFailed_}, round);
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
  const NTSTATUS wait = KEvent::WaitAny({&packetReady_, &event0B_, &event07_, &readError_}, timeoutMs);
  switch (wait) {
    case STATUS_WAIT_0: {
      {
        SpinLockGuard guard(pumpLock_);
        packet = inSlot_;
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
  KMutexGuard gate(writeGate_);
  return abortFlag_;
}

NTSTATUS CTransport::SendRequest(std::uint8_t command, const std::uint8_t* data, std::size_t length,
                                 Response& response) {
  response = Response{};
  if (length > kMaxRequestLength || (length > 0 && data == nullptr)) {
    return STATUS_INVALID_PARAMETER;
  }
  Expecting expecting(*this, false);
  NTSTATUS status = STATUS_SUCCESS;
  {
    // Checked and written under one hold of the gate: an abort either comes
    // first and this command is never sent, or comes after its header and
    // ends it at the device.
    KMutexGuard gate(writeGate_);
    if (abortFlag_) {
      return QVX_STATUS_EVENT_0B;
    }
    status = WriteLocked(CommandHeader(command, static_cast<std::uint16_t>(length)));
  }
  if (!NT_SUCCESS(status)) {
    MarkOutOfStep();
    return status;
  }
  // An abort written meanwhile ends the data here; the device still answers.
  for (std::size_t offset = 0; offset < length && !AbortFlag();) {
    const std::size_t count = std::min(kMaxDataPerPacket, length - offset);
    status = WritePacket(DataPacket(data + offset, count));
    if (!NT_SUCCESS(status)) {
      MarkOutOfStep();
      return status;
    }
    offset += count;
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
  Response result;
  result.code = ResponseCode(packet);
  result.length = AnnouncedLength(packet);
  result.data.reserve(result.length);
  while (result.data.size() < result.length) {
    status = ReadPacket(packet);
    if (!NT_SUCCESS(status)) {
      MarkOutOfStep();
      return status;
    }
    if (!IsValidDataPacket(packet)) {
      PrintPacket("!!ERROR: Invalid data from reader:", packet);
      MarkOutOfStep();
      return QVX_STATUS_FRAMING;
    }
    const std::size_t take = std::min<std::size_t>(DataCount(packet), result.length - result.data.size());
    result.data.insert(result.data.end(), packet.begin() + 2, packet.begin() + 2 + static_cast<std::ptrdiff_t>(take));
  }
  response = std::move(result);
  return STATUS_SUCCESS;
}

NTSTATUS CTransport::CardStatusQuery() {
  ArmReadPump();
  cardStatus_.Clear();
  const NTSTATUS status = WritePacket(qvxrdr::CardStatusQuery());
  if (!NT_SUCCESS(status)) {
    return status;
  }
  // The read error ends the wait too: a pump that fails would never bring
  // the card status. A device that does not answer at all must not keep
  // the start waiting for ever.
  const NTSTATUS wait = KEvent::WaitAny({&cardStatus_, &readError_}, kPromptAnswerMs);
  if (wait == STATUS_WAIT_0) {
    return STATUS_SUCCESS;
  }
  return wait == STATUS_TIMEOUT ? STATUS_IO_TIMEOUT : QVX_STATUS_READ_FAILED;
}

}  // namespace qvxrdr
