#include "device/Device.h"

#include "device/ReplyBuffer.h"
#include "reader/ServedVendorCodes.h"

namespace qvx::driver {

namespace {

constexpr char kTagIoctl[] = "Ioct";

}  // namespace

template <class Body>
NTSTATUS CDevice::Serve(Body body) {
  if (State() != DeviceState::Started) {
    return STATUS_DEVICE_REMOVED;
  }
  RemoveLockHold hold(m_removeLock, kTagIoctl);
  if (!hold.Held()) {
    return STATUS_DEVICE_REMOVED;
  }
  PendingIoScope pending(m_pendingIo);
  return body();
}

NTSTATUS CDevice::DeviceControl(std::uint32_t code, const std::uint8_t* in, std::size_t inLength,
                                std::uint8_t* out, std::size_t capacity, std::size_t* returned) {
  *returned = 0;
  return Serve([&]() -> NTSTATUS {
    if (!IsServedVendorCode(code)) {
      return STATUS_INVALID_PARAMETER;
    }
    const ByteView input = in == nullptr ? ByteView() : ByteView(in, inLength);
    VendorReply reply;
    const NTSTATUS status = m_reader.VendorRequest(code, input, &reply);
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
    AtrBytes reply;
    const NTSTATUS status = m_reader.CardPower(action, &reply);
    if (!NT_SUCCESS(status)) {
      return status;
    }
    return CopyReply(reply, atr, capacity, returned);
  });
}

NTSTATUS CDevice::SetProtocol(std::uint32_t requested, std::uint32_t* selected) {
  *selected = 0;
  return Serve([&] { return m_reader.SetProtocol(requested, selected); });
}

NTSTATUS CDevice::Transmit(const std::uint8_t* apdu, std::size_t size, std::uint8_t* out,
                           std::size_t capacity, std::size_t* returned) {
  *returned = 0;
  return Serve([&]() -> NTSTATUS {
    Answer reply;
    const NTSTATUS status = m_reader.Transmit(apdu, size, &reply);
    if (!NT_SUCCESS(status)) {
      return status;
    }
    return CopyReply(reply, out, capacity, returned);
  });
}

NTSTATUS CDevice::GetCardState(CardState* state) {
  *state = CardState::Unknown;
  return Serve([&] {
    *state = m_card.State();
    return STATUS_SUCCESS;
  });
}

NTSTATUS CDevice::TrackCard(std::uint32_t timeoutMs) {
  return Serve([&] { return m_card.WaitForChange(timeoutMs); });
}

void CDevice::InterruptCardTracking() { m_card.InterruptTracking(); }

}  // namespace qvx::driver
