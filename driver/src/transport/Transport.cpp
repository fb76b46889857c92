#include "transport/Transport.h"

#include <algorithm>
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
  return STATUS_SUCCESS;
}

void CTransport::OnInCompleted(NTSTATUS status, const Packet& packet) {
  bool stopping = false;
  {
    SpinLockGuard guard(pumpLock_);
    inOutstanding_ = false;
    stopping = stopping_ > 0;
    if (NT_SUCCESS(status)) {
      inSlot_ = packet;
    }
  }
  if (!NT_SUCCESS(status)) {
    EndPump(status == STATUS_CANCELLED);
    return;
  }

  bool rearm = true;
  if (IsCardStatus(packet)) {
    if (packet[2] == kCardInserted || packet[2] == 0) {
      const bool inserted = packet[2] == kCardInserted;
      cardPresent_.store(inserted);
      events_.OnCardStatus(inserted);
    }
    cardStatus_.Set();
  } else if (IsEventHeader(packet, kEvent0B)) {
    event0B_.Set();
  } else if (IsEventHeader(packet, kEvent07)) {
    event07_.Set();
  } else if (IsEventHeader(packet, kEvent0A)) {
    // Nothing to do but keep listening.
  } else if (IsEventHeader(packet, kEvent06) && ignoreEvent6_.load()) {
    // Nobody expects it.
  } else {
    packetReady_.Set();
    rearm = false;  // the reader of the packet re-arms
  }

  if (stopping) {
    // A stop is waiting for the pump to end; this completion raced the cancel.
    EndPump(true);
  } else if (rearm) {
    ArmReadPump();
  }
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

NTSTATUS CTransport::ReadPacket(Packet& packet) {
  packet.fill(0);
  const NTSTATUS wait = KEvent::WaitAny({&packetReady_, &event0B_, &event07_, &readError_}, kInfinite);
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
  {
    KMutexGuard gate(writeGate_);
    abortFlag_ = false;
  }
  NTSTATUS status = WritePacket(CommandHeader(command, static_cast<std::uint16_t>(length)));
  if (!NT_SUCCESS(status)) {
    return status;
  }
  // An abort written meanwhile ends the data here; the device still answers.
  for (std::size_t offset = 0; offset < length && !AbortFlag();) {
    const std::size_t count = std::min(kMaxDataPerPacket, length - offset);
    status = WritePacket(DataPacket(data + offset, count));
    if (!NT_SUCCESS(status)) {
      return status;
    }
    offset += count;
  }

  Packet packet{};
  status = ReadPacket(packet);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  if (PacketType(packet) != kPacketHeader || AnnouncedLength(packet) > kMaxResponseLength) {
    PrintPacket("!!ERROR: Invalid command from reader:", packet);
    return QVX_STATUS_FRAMING;
  }
  Response result;
  result.code = ResponseCode(packet);
  result.length = AnnouncedLength(packet);
  result.data.reserve(result.length);
  while (result.data.size() < result.length) {
    status = ReadPacket(packet);
    if (!NT_SUCCESS(status)) {
      return status;
    }
    if (!IsValidDataPacket(packet)) {
      PrintPacket("!!ERROR: Invalid data from reader:", packet);
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
  for (;;) {
    // The read error ends the wait too: a pump that fails would never bring
    // the card status.
    const NTSTATUS wait = KEvent::WaitAny({&cardStatus_, &readError_, &packetReady_}, kInfinite);
    if (wait == STATUS_WAIT_0) {
      return STATUS_SUCCESS;
    }
    if (wait != STATUS_WAIT_0 + 2) {
      return QVX_STATUS_READ_FAILED;
    }
    // An answer left over from before (nobody reads it any more) holds the
    // pump: drop it and wait on for the card status.
    Packet stale{};
    {
      SpinLockGuard guard(pumpLock_);
      stale = inSlot_;
    }
    PrintPacket("dropped stale packet:", stale);
    ArmReadPump();
  }
}

}  // namespace qvxrdr
