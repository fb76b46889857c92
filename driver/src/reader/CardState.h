// The card in the slot as the reader sees it: state, ATR, protocols, and
// the card-tracking signal that tells the resource manager about insertion
// and removal.
//
// The read pump reports card status and read failures here (ICardEvents);
// the reader functions move the state on power, reset and protocol
// selection.
#pragma once

#include <atomic>
#include <cstdint>

#include "kernel/Event.h"
#include "kernel/Mutex.h"
#include "kernel/NtStatus.h"
#include "reader/Atr.h"
#include "transport/CardEvents.h"

namespace qvx::driver {

// Ordered as the smart-card service orders them: "above present" means
// powered, negotiable or specific.
enum class CardState : std::uint8_t {
  Unknown = 0,
  Absent = 1,
  Present = 2,
  Swallowed = 3,
  Powered = 4,
  Negotiable = 5,
  Specific = 6,
};

// Told of every completed tracking (card insertion or removal, a card a
// device command found): where a system keeps the tracking request itself
// rather than waiting in WaitForChange, it ends that request here. Called
// from the read pump's completion too, so it must not block.
class ICardTrackingListener {
 public:
  virtual void OnTrackingCompleted(CardState state) = 0;

 protected:
  ~ICardTrackingListener() = default;
};

class CCardState final : public ICardEvents {
 public:
  CCardState() = default;
  CCardState(const CCardState&) = delete;
  CCardState& operator=(const CCardState&) = delete;

  // From the read pump.
  void OnCardStatus(bool inserted) override;
  void OnReadFailed() override;

  CardState State();
  void SetState(CardState state);
  // A state below present becomes present; true when it changed.
  bool RaiseToPresent();
  // The card is gone: absent, no ATR, no protocol; tracking completed.
  void SetAbsent();

  AtrBytes Atr();
  // A complete ATR and the protocols it offers; the card is then
  // negotiable.
  void SetAtr(ByteView atr, std::uint32_t protocols);
  std::uint32_t CardProtocols();
  std::uint32_t SelectedProtocol();
  void SetSelectedProtocol(std::uint32_t protocol);

  // Set before the read pump runs; nullptr for none.
  void SetTrackingListener(ICardTrackingListener* listener) { m_listener.store(listener); }

  // Card tracking: completing it wakes a waiting WaitForChange, and is
  // remembered until one comes, so no change slips between two waits.
  void CompleteTracking();
  // STATUS_SUCCESS on a change (or once tracking is stopped), STATUS_TIMEOUT.
  NTSTATUS WaitForChange(std::uint32_t timeoutMs);
  // Ends every present and later wait at once (the reader goes away).
  void StopTracking();
  // Ends the present wait, or the next one if none runs: the resource
  // manager asks this when it wants its polling loop to look at the reader
  // again, and then waits anew. A lasting stop here would turn that loop
  // into a busy one.
  void InterruptTracking();

 private:
  std::atomic<ICardTrackingListener*> m_listener{nullptr};
  SpinLock m_lock;
  CardState m_state = CardState::Absent;
  AtrBytes m_atr;
  std::uint32_t m_cardProtocols = 0;
  std::uint32_t m_selectedProtocol = 0;

  KEvent m_changed{EventType::Synchronization, false};
  KEvent m_stopped{EventType::Notification, false};
  KEvent m_interrupted{EventType::Synchronization, false};
};

}  // namespace qvx::driver
