#include "reader/CardState.h"

namespace qvx::driver {

void CCardState::OnCardStatus(bool inserted) {
  bool changed = false;
  {
    SpinLockGuard guard(m_lock);
    if (inserted) {
      m_state = CardState::Present;
      changed = true;
    } else if (m_state != CardState::Absent) {
      m_state = CardState::Absent;
      m_atr.Clear();
      m_cardProtocols = 0;
      m_selectedProtocol = 0;
      changed = true;
    }
  }
  if (changed) {
    CompleteTracking();
  }
}

void CCardState::OnReadFailed() {
  // The device is unreachable: whatever card there was cannot be used.
  SetAbsent();
}

CardState CCardState::State() {
  SpinLockGuard guard(m_lock);
  return m_state;
}

void CCardState::SetState(CardState state) {
  SpinLockGuard guard(m_lock);
  m_state = state;
}

bool CCardState::RaiseToPresent() {
  SpinLockGuard guard(m_lock);
  if (m_state >= CardState::Present) {
    return false;
  }
  m_state = CardState::Present;
  return true;
}

void CCardState::SetAbsent() {
  {
    SpinLockGuard guard(m_lock);
    m_state = CardState::Absent;
    m_atr.Clear();
    m_cardProtocols = 0;
    m_selectedProtocol = 0;
  }
  CompleteTracking();
}

AtrBytes CCardState::Atr() {
  SpinLockGuard guard(m_lock);
  return m_atr;
}

void CCardState::SetAtr(ByteView atr, std::uint32_t protocols) {
  SpinLockGuard guard(m_lock);
  m_atr.Assign(atr);
  m_cardProtocols = protocols;
  m_state = CardState::Negotiable;
}

std::uint32_t CCardState::CardProtocols() {
  SpinLockGuard guard(m_lock);
  return m_cardProtocols;
}

std::uint32_t CCardState::SelectedProtocol() {
  SpinLockGuard guard(m_lock);
  return m_selectedProtocol;
}

void CCardState::SetSelectedProtocol(std::uint32_t protocol) {
  SpinLockGuard guard(m_lock);
  m_selectedProtocol = protocol;
}

void CCardState::CompleteTracking() {
  m_changed.Set();
  if (ICardTrackingListener* listener = m_listener.load()) {
    listener->OnTrackingCompleted(State());
  }
}

NTSTATUS CCardState::WaitForChange(std::uint32_t timeoutMs) {
  const NTSTATUS wait = KEvent::WaitAny({&m_changed, &m_stopped, &m_interrupted}, timeoutMs);
  if (wait == STATUS_WAIT_0 || wait == STATUS_WAIT_0 + 1 || wait == STATUS_WAIT_0 + 2) {
    return STATUS_SUCCESS;
  }
  return wait == STATUS_TIMEOUT ? STATUS_TIMEOUT : STATUS_UNSUCCESSFUL;
}

void CCardState::StopTracking() { m_stopped.Set(); }

void CCardState::InterruptTracking() { m_interrupted.Set(); }

}  // namespace qvx::driver
