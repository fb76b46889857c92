#include "reader/Protocol.h"

#include "reader/Atr.h"

namespace qvx::driver {

NTSTATUS SetProtocol(CCardState& card, std::uint32_t requested, std::uint32_t* selected) {
  const std::uint32_t current = card.SelectedProtocol();
  if (card.State() == CardState::Specific && (requested & current) != 0) {
    *selected = current;
    return STATUS_SUCCESS;
  }
  const std::uint32_t common = requested & card.CardProtocols();
  if ((common & kProtocolT1) != 0) {
    card.SetSelectedProtocol(kProtocolT1);
  } else if ((common & kProtocolT0) != 0) {
    card.SetSelectedProtocol(kProtocolT0);
  } else {
    *selected = current;
    return STATUS_SUCCESS;
  }
  card.SetState(CardState::Specific);
  *selected = card.SelectedProtocol();
  return STATUS_SUCCESS;
}

}  // namespace qvx::driver
