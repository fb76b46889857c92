// The IN transfers a USB lower edge keeps queued at the device, and the one
// read the transport has outstanding over them.
//
// Offers: CInQueue — the bookkeeping only. Each call says what the edge is
// to do next (an InStep): run the reader's completion, submit some of the
// transfers again. The edge holds its own lock around every call and does
// the step after releasing it. Rules, for every edge:
// - A finished transfer goes back to the device the moment its packet is
//   handed on; a packet that comes while nobody reads stays in its
//   transfer (off the device) until the next read takes it, in the order
//   the device sent them.
// - A cancel ends the read once none of its transfers is at the device;
//   packets already read stay for the next read. An abort drops them, and
//   every later read fails.
// - A failure ends the read; when nobody reads, the next read ends with it.
//   No transfer goes back to the device until the next read.
//
// Kernel-safe (docs/design.md, "The driver core in the kernel").
#pragma once

#include <cstddef>

#include "kernel/NtStatus.h"
#include "transport/LowerEdge.h"
#include "transport/Packet.h"

namespace qvx::driver {

// What the edge does after a call, outside its lock.
struct InStep {
  InCompletion reader;  // when set: run it with status and packet
  NTSTATUS status = STATUS_SUCCESS;
  Packet packet{};
  unsigned submit = 0;  // bit i: submit transfer i (marked at the device already)
};

class CInQueue {
 public:
  static constexpr std::size_t kDepth = 4;

  // A read. Fails, without running `reader`, while another read is
  // outstanding, after an abort, or with a failure that came while nobody
  // read.
  NTSTATUS Read(InCompletion reader, InStep& step);
  // Transfer `slot` finished with `status` (the packet counts only on success).
  void Completed(std::size_t slot, NTSTATUS status, const Packet& packet, InStep& step);
  // The edge could not submit transfer `slot`: as a failure of the pipe.
  void SubmitFailed(std::size_t slot, NTSTATUS status, InStep& step) {
    Completed(slot, status, Packet{}, step);
  }
  // Whether transfers are at the device for the edge to cancel.
  bool Cancel(InStep& step);
  bool Abort(InStep& step);
  // Transfers at the device.
  std::size_t Submitted() const { return Count(State::Submitted); }

 private:
  enum class State { Idle, Submitted, Ready };

  std::size_t Count(State state) const;
  // Every idle transfer to the device.
  void TopUp(InStep& step);
  // The reader, with `status`, once none of its transfers is at the device.
  void EndReaderWhenDrained(NTSTATUS status, InStep& step);

  State m_state[kDepth] = {};
  Packet m_packets[kDepth] = {};
  // Transfers holding packets, oldest first: a ring over m_ready.
  std::size_t m_ready[kDepth] = {};
  std::size_t m_readyHead = 0;
  std::size_t m_readyCount = 0;
  InCompletion m_reader;
  NTSTATUS m_failure = STATUS_SUCCESS;  // one that came while nobody read
  bool m_stopped = false;               // cancelled or failed: nothing goes back to the device
  bool m_aborted = false;
};

}  // namespace qvx::driver
