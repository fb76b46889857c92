// The driver's lower edge for unit tests: the test (or a ScriptedFirmware
// behind it) scripts what the device sends and how transfers end, and reads
// back what was written. Completions run on the edge's own thread, as with a
// real backend: one OUT completion at a time, then one IN transfer at a time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "transport/LowerEdge.h"

namespace qvx::testing {

class ScriptedEdge final : public qvx::driver::ILowerEdge {
 public:
  using NTSTATUS = qvx::driver::NTSTATUS;
  using Packet = qvx::driver::Packet;

  ScriptedEdge();
  ~ScriptedEdge() override;
  ScriptedEdge(const ScriptedEdge&) = delete;
  ScriptedEdge& operator=(const ScriptedEdge&) = delete;

  // --- script: the descriptors ---
  void SetEndpoints(std::vector<qvx::driver::EndpointInfo> endpoints);
  void SetStrings(qvx::driver::DeviceNameStrings strings);

  // --- script: the IN pipe ---
  // The device sends packets; each ends one IN transfer, in order.
  void Send(const Packet& packet);
  void Send(const std::vector<Packet>& packets);
  // The IN transfer that would take the next packet fails with status.
  void FailIn(NTSTATUS status);
  // From now on every IN transfer fails with status (the cable is pulled).
  void FailAllIn(NTSTATUS status);
  // A device that lost power forgets what it still had to send.
  void DiscardUnsent();
  void FailSubmitIn(NTSTATUS status);
  // A cancelled IN transfer takes this long to complete, as on a busy bus.
  void SetCancelDelay(std::chrono::milliseconds delay);

  // --- script: the OUT pipe ---
  // Writes complete with this status; a failed write never reaches the device.
  void SetWriteStatus(NTSTATUS status);
  // Writes stay outstanding while held.
  void HoldWrites(bool hold);
  // Called on the writer's thread for every packet that reaches the device,
  // after it is recorded: the device's side of the pipe.
  void OnWrite(std::function<void(const Packet&)> hook);
  // Called once when the edge goes, so whatever feeds it lets go first.
  void OnClose(std::function<void()> hook);

  // --- read back ---
  std::vector<Packet> Written();
  // Waits until pred() holds (checked under the edge's lock) or 5 s pass.
  bool WaitFor(const std::function<bool()>& pred);
  // For WaitFor predicates.
  std::size_t WrittenCountLocked() const { return m_written.size(); }
  bool InOutstandingLocked() const { return static_cast<bool>(m_pendingIn); }

  // --- ILowerEdge ---
  NTSTATUS ReadDescriptors(qvx::driver::UsbDescriptors& descriptors) override;
  NTSTATUS SubmitOut(const Packet& packet, qvx::driver::OutCompletion completion) override;
  NTSTATUS SubmitIn(qvx::driver::InCompletion completion) override;
  void CancelIn() override;
  void AbortPipes() override;

 private:
  struct Inbound {
    NTSTATUS status;
    Packet packet;
  };

  template <typename F>
  void Change(F change) {
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      change();
    }
    m_changed.notify_all();
  }
  bool InReady() const;
  void Run();
  void CompleteOut(std::unique_lock<std::mutex>& lock);
  void CompleteIn(std::unique_lock<std::mutex>& lock);

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<qvx::driver::EndpointInfo> m_endpoints{{0x81, 8}, {0x02, 8}};
  qvx::driver::DeviceNameStrings m_strings;
  std::deque<Inbound> m_inbound;
  std::deque<qvx::driver::OutCompletion> m_outs;
  std::vector<Packet> m_written;
  std::function<void(const Packet&)> m_onWrite;
  std::function<void()> m_onClose;
  qvx::driver::InCompletion m_pendingIn;
  NTSTATUS m_writeStatus = qvx::driver::STATUS_SUCCESS;
  NTSTATUS m_submitInStatus = qvx::driver::STATUS_SUCCESS;
  NTSTATUS m_allInStatus = qvx::driver::STATUS_SUCCESS;
  std::chrono::milliseconds m_cancelDelay{0};
  bool m_holdWrites = false;
  bool m_cancel = false;
  bool m_aborted = false;
  bool m_stop = false;
  std::thread m_thread;  // last: starts once everything above is set up
};

}  // namespace qvx::testing
