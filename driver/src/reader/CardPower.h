// Card power: power off, and cold or warm reset with the collection of the
// answer-to-reset from the device's data packets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/NtStatus.h"
#include "reader/Atr.h"
#include "reader/CardState.h"
#include "transport/Transport.h"

namespace qvx::driver {

enum class PowerAction { PowerDown, ColdReset, WarmReset };

class CCardPower {
 public:
  CCardPower(CTransport& transport, CCardState& card) : m_transport(transport), m_card(card) {}

  // On success after a reset, *atr is the card's ATR; after power down it
  // is empty.
  NTSTATUS Power(PowerAction action, AtrBytes* atr);

 private:
  NTSTATUS Reset(PowerAction action);
  NTSTATUS CollectAtr();
  // The card answered in a way no reader can use: keep it swallowed and
  // take its power away.
  void Swallow();

  CTransport& m_transport;
  CCardState& m_card;
};

}  // namespace qvx::driver
