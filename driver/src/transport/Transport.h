// The packet transport of one device.
//
// Offers: CTransport — configures the pipes, keeps the read pump (exactly
// one IN transfer outstanding), writes packets behind the write gate, reads
// packets, sends a request and reassembles its response, runs the
// card-status query, keeps the conversation with the device in step (see
// "Keeping in step" in docs/device.md: operations, answers expected,
// aborts that stick, resynchronisation), and exposes the flags and events
// the reader layer and the cancel watcher need. Failures are NTSTATUS values, the device
// conditions being QVX_STATUS_EVENT_0B/_07, QVX_STATUS_FRAMING,
// QVX_STATUS_READ_FAILED and QVX_STATUS_WRITE_FAILED.
//
// Threads: any number of callers; the pump's completion runs on the lower
// edge's thread and calls ICardEvents from there.
//
// Kernel-safe (docs/design.md, "The driver core in the kernel").
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "kernel/Bytes.h"
#include "kernel/Event.h"
#include "kernel/Mutex.h"
#include "kernel/NtStatus.h"
#include "kernel/Owned.h"
#include "transport/CardEvents.h"
#include "transport/LowerEdge.h"
#include "transport/Packet.h"

namespace qvx::driver {

// The bytes of a response: at most kMaxResponseLength, kept in place.
using ResponseData = ByteBuffer<kMaxResponseLength>;

struct Response {
  std::uint8_t code = 0;     // byte 2 of the response header
  std::uint16_t length = 0;  // announced length (at most 256)
  ResponseData data;         // the announced bytes
};

class CTransport {
 public:
  static constexpr std::uint32_t kWriteRoundMs = 10000;
  // How long an answer that comes at once (card status, ATR packets, the
  // resynchronising check device) may take before the device counts as out
  // of step. The customer's answers have no limit here: the device keeps
  // its own, and the cancel event ends them.
  static constexpr std::uint32_t kPromptAnswerMs = 2000;
  // The command whose answer (response code 5) marks the end of whatever
  // the device still owed: answered in every state but while waiting for
  // the customer, and by nothing else.
  static constexpr std::uint8_t kResyncCommand = 0x02;
  static constexpr std::uint8_t kResyncResponse = 5;
  // A request's packets in flight at once. A USB host moves a packet per
  // frame only while the next transfer is queued before the previous one
  // completes; one at a time, every packet also waits for the host's own
  // round trip (completion, wake-up, next submit), which on a busy computer
  // is longer than a frame.
  static constexpr std::size_t kOutWindow = 8;

  // The transport owns the lower edge, which must not be empty; events
  // must outlive the transport. writeRoundMs: how long a write waits before
  // printing its timeout line and waiting again.
  CTransport(KOwned<ILowerEdge> lower, ICardEvents& events,
             std::uint32_t writeRoundMs = kWriteRoundMs);
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
  const UsbDescriptors& Descriptors() const { return m_descriptors; }

  // Read pump.
  NTSTATUS ArmReadPump();
  // Cancels the outstanding IN transfer and waits for it; arming fails from
  // then on until ClearFlags().
  void StopReadPump();
  // At start and power-up: clears pump stopped, read failed, the read
  // error and any packet nobody collected.
  void ClearFlags();
  bool IsPumpStoppedOrFailed() const;
  bool IsPumpStopped() const { return m_pumpStopped.load(); }
  bool IsReadFailed() const { return m_readFailed.load(); }

  // Operations: a vendor request, a transmit or a card power call, which
  // may be several exchanges. An abort written during one sticks to it: no
  // device command goes out after it. At the end, a device that may still
  // owe an answer (an abort nobody saw answered, an exchange cut short) is
  // brought back in step before the next operation can start.
  void BeginOperation();
  void EndOperation();
  // An exchange ended without the whole answer the device owes.
  void MarkOutOfStep() { m_outOfStep.store(true); }
  bool OutOfStep() const { return m_outOfStep.load(); }
  // Writes the check device command and discards what arrives until its
  // answer; STATUS_IO_TIMEOUT or the read failure when it does not come.
  NTSTATUS Resync();

  // While one lives, the device's answers are read by the caller: data and
  // header packets and events go to ReadPacket; without one they are stray
  // and dropped. With cardStatus, card-status packets are answers too (a
  // reset is answered with the ATR or with "no card").
  class Expecting {
   public:
    Expecting(CTransport& transport, bool cardStatus);
    ~Expecting();
    Expecting(const Expecting&) = delete;
    Expecting& operator=(const Expecting&) = delete;

   private:
    CTransport& m_transport;
  };

  // Packets.
  NTSTATUS WritePacket(const Packet& packet);
  // STATUS_IO_TIMEOUT when nothing comes within timeoutMs.
  NTSTATUS ReadPacket(Packet& packet, std::uint32_t timeoutMs = kInfinite);
  // command header + data packets, then the response. The abort flag,
  // when set by an abort packet meanwhile, stops further data packets.
  NTSTATUS SendRequest(std::uint8_t command, const std::uint8_t* data, std::size_t length,
                       Response& response);
  NTSTATUS SendRequest(std::uint8_t command, std::initializer_list<std::uint8_t> data,
                       Response& response) {
    return SendRequest(command, data.begin(), data.size(), response);
  }
  // Any contiguous byte container (data(), size()).
  template <class Bytes>
  NTSTATUS SendRequest(std::uint8_t command, const Bytes& data, Response& response) {
    return SendRequest(command, data.data(), data.size(), response);
  }
  // Arms the pump, writes 02 09 and waits for the card-status packet.
  NTSTATUS CardStatusQuery();
  // The cancel watcher's abort packet 01 03 17 0 0 0 0 sequence.
  NTSTATUS WriteAbort(std::uint8_t sequence) { return WritePacket(Abort(sequence)); }

  // Flags.
  bool AbortFlag();
  // A device event 01 03 0B came since the operation began.
  bool AbortAnswered() const { return m_abortAnswered.load(); }
  bool CardPresent() const { return m_cardPresent.load(); }
  void SetCardPresent(bool present) { m_cardPresent.store(present); }
  // Returns the previous value. Set (the default) while no exchange
  // expects a packet 01 03 06.
  bool SetIgnoreEvent6(bool ignore) { return m_ignoreEvent6.exchange(ignore); }

  // Set by every card-status packet; the stop and power-down paths set it
  // to release a waiting card-status query.
  KEvent& CardStatusEvent() { return m_cardStatus; }

 private:
  static void InCompleted(void* self, NTSTATUS status, const Packet& packet);
  static void OutCompleted(void* self, NTSTATUS status);
  void OnInCompleted(NTSTATUS status, const Packet& packet);
  void EndPump(bool cancelled);
  bool Configured() const { return m_configured.load(); }
  // With the write gate held.
  NTSTATUS WriteLocked(const Packet& packet);
  void BeginExpecting(bool cardStatus);
  void EndExpecting();
  void DropStray(const char* what, const Packet& packet);
  NTSTATUS ReadOwedData(std::uint16_t length, std::uint32_t timeoutMs);
  // A request's own packets (its command header and data) go out through
  // the window and are waited for together before the response is read.
  // SubmitWindowed sends nothing and sets `aborted` when an abort packet was
  // written first; the check and the send are one hold of the write gate.
  NTSTATUS SubmitWindowed(const Packet& packet, bool& aborted);
  // Waits until at most `inFlight` packets are out; the first failure of a
  // packet sent since the request began, once none is out any more.
  NTSTATUS WaitWindow(std::size_t inFlight);
  static void WindowedCompleted(void* context, NTSTATUS status);
  void OnWindowedDone(NTSTATUS status);

  KOwned<ILowerEdge> m_lower;
  ICardEvents& m_events;
  const std::uint32_t m_writeRoundMs;
  UsbDescriptors m_descriptors;
  std::atomic<bool> m_configured{false};

  // Pump state, guarded by m_pumpLock.
  SpinLock m_pumpLock;
  bool m_inOutstanding = false;
  int m_stopping = 0;  // StopReadPump calls in progress
  Packet m_inSlot{};
  bool m_expecting = false;
  bool m_expectingCardStatus = false;

  std::atomic<bool> m_pumpStopped{false};
  std::atomic<bool> m_readFailed{false};
  std::atomic<bool> m_cardPresent{false};
  std::atomic<bool> m_ignoreEvent6{true};
  std::atomic<bool> m_abortAnswered{false};
  std::atomic<bool> m_outOfStep{false};

  KMutex m_writeGate;
  bool m_abortFlag = false;  // guarded by m_writeGate; cleared when an operation begins

  KEvent m_packetReady{EventType::Synchronization, false};
  KEvent m_event0B{EventType::Synchronization, false};
  KEvent m_event07{EventType::Synchronization, false};
  KEvent m_readError{EventType::Notification, false};
  KEvent m_cardStatus{EventType::Notification, false};
  KEvent m_writeDone{EventType::Synchronization, false};
  KEvent m_writeFailed{EventType::Synchronization, false};

  // The window, guarded by m_windowLock; only one request writes at a time.
  SpinLock m_windowLock;
  std::size_t m_windowInFlight = 0;
  NTSTATUS m_windowFailure = 0;          // the first failure since the request began, or success
  Packet m_windowPackets[kOutWindow]{};  // in flight, the oldest at m_windowHead
  std::size_t m_windowHead = 0;
  KEvent m_windowMoved{EventType::Synchronization, false};
};

}  // namespace qvx::driver
