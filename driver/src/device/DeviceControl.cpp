#include "device/Device.h"

#include "device/ReplyBuffer.h"
#include "reader/ControlCodes.h"

namespace qvxrdr {

namespace {

constexpr char kTagIoctl[] = "Ioct";

}  // namespace

template <class Body>
NTSTATUS CDevice::Serve(Body body) {
  if (State() != DeviceState::Started) {
    return STATUS_DEVICE_REMOVED;
  }
  RemoveLockHold hold(removeLock_, kTagIoctl);
  if (!hold.Held()) {
    return STATUS_DEVICE_REMOVED;
  }
  PendingIoScope pending(pendingIo_);
  return body();
}

NTSTATUS CDevice::DeviceControl(std::uint32_t code, const std::uint8_t* in, std::size_t inLength,
                                std::uint8_t* out, std::size_t capacity, std::size_t* returned) {
  *returned = 0;
  return Serve([&]() -> NTSTATUS {
    if (!IsServedVendorCode(code)) {
      return STATUS_INVALID_PARAMETER;
    }
    const std::vector<std::uint8_t> input =
        in == nullptr ? std::vector<std::uint8_t>{} : std::vector<std::uint8_t>(in, in + inLength);
    std::vector<std::uint8_t> reply;
    const NTSTATUS status = reader_->VendorRequest(code, input, &reply);
    if (!NT_SUCCESS(status)) {
      return status;
    }
    return CopyReply(reply, out, capacity, returned);
  });
}

NTSTATUS CDevice::CardPower(PowerAction action, std::uint8_t* atr, std::size_t capacity,
                            std::size_t* returned) {
  *returned = 0;
  return Serve([&]() -> NTSTATUS {
    std::vector<std::uint8_t> reply;
    const NTSTATUS status = reader_->CardPower(action, &reply);
    if (!NT_SUCCESS(status)) {
      return status;
    }
    return CopyReply(reply, atr, capacity, returned);
  });
}

NTSTATUS CDevice::SetProtocol(std::uint32_t requested, std::uint32_t* selected) {
  *selected = 0;
  return Serve([&] { return reader_->SetProtocol(requested, selected); });
}

NTSTATUS CDevice::Transmit(const std::uint8_t* apdu, std::size_t size, std::uint8_t* out,
                           std::size_t capacity, std::size_t* returned) {
  *returned = 0;
  return Serve([&]() -> NTSTATUS {
    std::vector<std::uint8_t> reply;
    const NTSTATUS status = reader_->Transmit(apdu, size, &reply);
    if (!NT_SUCCESS(status)) {
      return status;
    }
    return CopyReply(reply, out, capacity, returned);
  });
}

NTSTATUS CDevice::GetCardState(CardState* state) {
  *state = CardState::Unknown;
  return Serve([&] {
    *state = card_.State();
    return STATUS_SUCCESS;
  });
}

NTSTATUS CDevice::TrackCard(std::uint32_t timeoutMs) {
  return Serve([&] { return card_.WaitForChange(timeoutMs); });
}

void CDevice::InterruptCardTracking() { card_.InterruptTracking(); }

}  // namespace qvxrdr
