// What the read pump tells the reader layer, which owns the card state.
//
// Offers: ICardEvents. Both calls come from the pump's completion (the lower
// edge's thread) and must not block on the transport.
#pragma once

namespace qvx::driver {

class ICardEvents {
 public:
  virtual ~ICardEvents() = default;

  // The device reported card status 02 81 s (inserted: s == 1). Called
  // before the card-status event is set.
  virtual void OnCardStatus(bool inserted) = 0;
  // The IN transfer failed other than by cancellation: the card is to be
  // taken as absent.
  virtual void OnReadFailed() = 0;
};

}  // namespace qvx::driver
