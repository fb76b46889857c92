// A lower edge for fuzzing: the device's side of the conversation comes
// from the fuzz input as bursts of packets, one burst released by each
// packet the host writes (the device answers what it is sent). A host that
// waits without writing gets the next burst after a short quiet spell;
// once the input is used up the device goes away, so every wait ends.
// Completions run on the edge's own thread, as with a real backend.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "transport/LowerEdge.h"

namespace qvx::fuzz {

class CFuzzLowerEdge final : public driver::ILowerEdge {
 public:
  using Burst = std::vector<driver::Packet>;

  explicit CFuzzLowerEdge(std::deque<Burst> bursts);
  ~CFuzzLowerEdge() override;
  CFuzzLowerEdge(const CFuzzLowerEdge&) = delete;
  CFuzzLowerEdge& operator=(const CFuzzLowerEdge&) = delete;

  driver::NTSTATUS ReadDescriptors(driver::UsbDescriptors& descriptors) override;
  driver::NTSTATUS SubmitOut(const driver::Packet& packet,
                             driver::OutCompletion completion) override;
  driver::NTSTATUS SubmitIn(driver::InCompletion completion) override;
  void CancelIn() override;
  void AbortPipes() override;

 private:
  static constexpr std::chrono::microseconds kQuiet{200};

  void Run();
  void ReleaseBurst();  // under m_mutex

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<Burst> m_bursts;             // not yet released
  std::deque<driver::Packet> m_released;  // released, not yet read
  std::deque<driver::OutCompletion> m_outs;
  driver::InCompletion m_in;
  bool m_cancelIn = false;
  bool m_aborted = false;
  bool m_gone = false;  // the input is used up: the device has gone away
  bool m_stop = false;
  std::thread m_thread;
};

// Bursts from fuzz bytes: a count byte (0 to 3 packets) and that many
// 8-byte packets, again and again; a short last packet is zero padded.
std::deque<CFuzzLowerEdge::Burst> BurstsFrom(const std::uint8_t* data, std::size_t size);

}  // namespace qvx::fuzz
