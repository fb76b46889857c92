#include "reader/CardState.h"

namespace qvxrdr {

void CCardState::OnCardStatus(bool inserted) {
  bool changed = false;
  {
    SpinLockGuard guard(lock_);
    if (inserted) {
      state_ = CardState::Present;
      changed = true;
    } else if (state_ != CardState::Absent) {
      state_ = CardState::Absent;
      atr_.clear();
      cardProtocols_ = 0;
      selectedProtocol_ = 0;
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
  SpinLockGuard guard(lock_);
  return state_;
}

void CCardState::SetState(CardState state) {
  SpinLockGuard guard(lock_);
  state_ = state;
}

bool CCardState::RaiseToPresent() {
  SpinLockGuard guard(lock_);
  if (state_ >= CardState::Present) {
    return false;
  }
  state_ = CardState::Present;
  return true;
}

void CCardState::SetAbsent() {
  {
    SpinLockGuard guard(lock_);
    state_ = CardState::Absent;
    atr_.clear();
    cardProtocols_ = 0;
    selectedProtocol_ = 0;
  }
  CompleteTracking();
}

std::vector<std::uint8_t> CCardState::Atr() {
  SpinLockGuard guard(lock_);
  return atr_;
}

void CCardState::SetAtr(const std::vector<std::uint8_t>& atr, std::uint32_t protocols) {
  SpinLockGuard guard(lock_);
  atr_ = atr;
  cardProtocols_ = protocols;
  state_ = CardState::Negotiable;
}

std::uint32_t CCardState::CardProtocols() {
  SpinLockGuard guard(lock_);
  return cardProtocols_;
}

std::uint32_t CCardState::SelectedProtocol() {
  SpinLockGuard guard(lock_);
  return selectedProtocol_;
}

void CCardState::SetSelectedProtocol(std::uint32_t protocol) {
  SpinLockGuard guard(lock_);
  selectedProtocol_ = protocol;
}

void CCardState::CompleteTracking() { changed_.Set(); }

NTSTATUS CCardState::WaitForChange(std::uint32_t timeoutMs) {
  const NTSTATUS wait = KEvent::WaitAny({&changed_, &stopped_, &interrupted_}, timeoutMs);
  if (wait == STATUS_WAIT_0 || wait == STATUS_WAIT_0 + 1 || wait == STATUS_WAIT_0 + 2) {
    return STATUS_SUCCESS;
  }
  return wait == STATUS_TIMEOUT ? STATUS_TIMEOUT : STATUS_UNSUCCESSFUL;
}

void CCardState::StopTracking() { stopped_.Set(); }

void CCardState::InterruptTracking() { interrupted_.Set(); }

}  // namespace qvxrdr
