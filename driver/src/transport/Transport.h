// The packet transport of one device.
//
// Offers: CTransport — configures the pipes, keeps the read pump (exactly
// one IN transfer outstanding), writes packets behind the write gate, reads
// packets, sends a request and reassembles its response, runs the
// card-status query, and exposes the flags and events the reader layer and
// the cancel watcher need. Failures are NTSTATUS values, the device
// conditions being QVX_STATUS_EVENT_0B/_07, QVX_STATUS_FRAMING,
// QVX_STATUS_READ_FAILED and QVX_STATUS_WRITE_FAILED.
//
// Threads: any number of callers; the pump's completion runs on the lower
// edge's thread and calls ICardEvents from there.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/Event.h"
#include "kernel/Mutex.h"
#include "kernel/NtStatus.h"
#include "transport/CardEvents.h"
#include "transport/LowerEdge.h"
#include "transport/Packet.h"

namespace qvxrdr {

struct Response {
  std::uint8_t code = 0;            // byte 2 of the response header
  std::uint16_t length = 0;         // announced length (at most 256)
  std::vector<std::uint8_t> data;   // the announced bytes
};

class CTransport {
 public:
  static constexpr std::chrono::milliseconds kWriteRound{10000};

  // The transport owns the lower edge; events must outlive the transport.
  // writeRound: how long a write waits before printing its timeout line and
  // waiting again.
  CTransport(std::unique_ptr<ILowerEdge> lower, ICardEvents& events,
             std::chrono::milliseconds writeRound = kWriteRound);
  // Stops the pump and closes the lower edge.
  ~CTransport();
  CTransport(const CTransport&) = delete;
  CTransport& operator=(const CTransport&) = delete;

  // Start: reads the descriptors; both pipes must have a maximum packet
  // size of 8 (else STATUS_UNSUCCESSFUL). Until then writes and arming fail
  // with STATUS_INVALID_DEVICE_STATE.
  NTSTATUS Configure();
  // Stop: forgets the pipes.
  void Unconfigure();
  // Removal and surprise removal: outstanding transfers end, later ones fail.
  void AbortPipes();
  const UsbDescriptors& Descriptors() const { return descriptors_; }

  // Read pump.
  NTSTATUS ArmReadPump();
  // Cancels the outstanding IN transfer and waits for it; arming fails from
  // then on until ClearFlags().
  void StopReadPump();
  // At start and power-up: clears pump stopped, read failed, the read
  // error and any packet nobody collected.
  void ClearFlags();
  bool IsPumpStoppedOrFailed() const;
  bool IsPumpStopped() const { return pumpStopped_.load(); }
  bool IsReadFailed() const { return readFailed_.load(); }

  // Packets.
  NTSTATUS WritePacket(const Packet& packet);
  NTSTATUS ReadPacket(Packet& packet);
  // command header + data packets, then the response. The abort flag,
  // when set by an abort packet meanwhile, stops further data packets.
  NTSTATUS SendRequest(std::uint8_t command, const std::uint8_t* data, std::size_t length,
                       Response& response);
  NTSTATUS SendRequest(std::uint8_t command, const std::vector<std::uint8_t>& data,
                       Response& response) {
    return SendRequest(command, data.data(), data.size(), response);
  }
  // Arms the pump, writes 02 09 and waits for the card-status packet.
  NTSTATUS CardStatusQuery();
  // The cancel watcher's abort packet 01 03 17 0 0 0 0 sequence.
  NTSTATUS WriteAbort(std::uint8_t sequence) { return WritePacket(Abort(sequence)); }

  // Flags.
  bool AbortFlag();
  bool CardPresent() const { return cardPresent_.load(); }
  void SetCardPresent(bool present) { cardPresent_.store(present); }
  // Returns the previous value. Set (the default) while no exchange
  // expects a packet 01 03 06.
  bool SetIgnoreEvent6(bool ignore) { return ignoreEvent6_.exchange(ignore); }

  // Set by every card-status packet; the stop and power-down paths set it
  // to release a waiting card-status query.
  KEvent& CardStatusEvent() { return cardStatus_; }

 private:
  void OnInCompleted(NTSTATUS status, const Packet& packet);
  void EndPump(bool cancelled);
  bool Configured() const { return configured_.load(); }

  std::unique_ptr<ILowerEdge> lower_;
  ICardEvents& events_;
  const std::chrono::milliseconds writeRound_;
  UsbDescriptors descriptors_;
  std::atomic<bool> configured_{false};

  // Pump state, guarded by pumpLock_.
  SpinLock pumpLock_;
  bool inOutstanding_ = false;
  int stopping_ = 0;  // StopReadPump calls in progress
  Packet inSlot_{};

  std::atomic<bool> pumpStopped_{false};
  std::atomic<bool> readFailed_{false};
  std::atomic<bool> cardPresent_{false};
  std::atomic<bool> ignoreEvent6_{true};

  KMutex writeGate_;
  bool abortFlag_ = false;  // guarded by writeGate_

  KEvent packetReady_{EventType::Synchronization, false};
  KEvent event0B_{EventType::Synchronization, false};
  KEvent event07_{EventType::Synchronization, false};
  KEvent readError_{EventType::Notification, false};
  KEvent cardStatus_{EventType::Notification, false};
  KEvent writeDone_{EventType::Synchronization, false};
  KEvent writeFailed_{EventType::Synchronization, false};
};

}  // namespace qvxrdr
