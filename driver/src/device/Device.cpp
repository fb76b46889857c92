#include "device/Device.h"

#include <utility>

#include "kernel/DebugPrint.h"

namespace qvx::driver {

namespace {

constexpr char kTagPnp[] = "PnP";

}  // namespace

CDevice::CDevice(KOwned<ILowerEdge> lower, std::uint32_t unit, std::uint32_t readerIndex,
                 const char* readerName, const char* cancelEventName, const Options& options)
    : m_unit(unit),
      m_readerIndex(readerIndex),
      m_units(*options.units),
      m_failureReport(options.failureReport),
      m_capabilities(KeptCapabilities(DeviceCapabilities{})),
      m_transport(std::move(lower), m_card, options.writeRoundMs),
      m_reader(m_transport, m_card, unit, cancelEventName, static_cast<IDeviceFailure&>(*this)) {
  std::size_t i = 0;
  for (; readerName[i] != '\0' && i + 1 < kMaxReaderName; ++i) {
    m_readerName[i] = readerName[i];
  }
  m_readerName[i] = '\0';
}

CDevice::~CDevice() {
  if (State() != DeviceState::Removed) {
    Remove();
  }
}

// Plug and Play requests: refused once removed, each under the remove lock
// and counted as pending I/O.
template <class Body>
NTSTATUS CDevice::ServePnpHolding(Body body) {
  if (State() == DeviceState::Removed) {
    return STATUS_DELETE_PENDING;
  }
  RemoveLockHold hold(m_removeLock, kTagPnp);
  if (!hold.Held()) {
    return hold.Status();
  }
  PendingIoScope pending(m_pendingIo);
  return body(hold);
}

template <class Body>
NTSTATUS CDevice::ServePnp(Body body) {
  return ServePnpHolding([&](RemoveLockHold&) -> NTSTATUS { return body(); });
}

NTSTATUS CDevice::Start() {
  return ServePnp([&]() -> NTSTATUS {
    const NTSTATUS status = m_transport.Configure();
    if (!NT_SUCCESS(status)) {
      DbgPrint("Meridel: start of unit %u failed (0x%08x)", static_cast<unsigned>(m_unit),
               static_cast<unsigned>(status));
      return status;
    }
    m_state.store(DeviceState::Started);
    m_transport.ClearFlags();
    const NTSTATUS query = m_transport.CardStatusQuery();
    if (!NT_SUCCESS(query)) {
      DbgPrint("Meridel: card status query failed (0x%08x)", static_cast<unsigned>(query));
    }
    return STATUS_SUCCESS;
  });
}

NTSTATUS CDevice::QueryStop() { return QueryRemove(); }

NTSTATUS CDevice::QueryRemove() {
  if (State() == DeviceState::Removed) {
    return STATUS_DELETE_PENDING;
  }
  RemoveLockHold hold(m_removeLock, kTagPnp);
  if (!hold.Held()) {
    return hold.Status();
  }
  // This request itself does not count: wait for all the others.
  m_pendingIo.IdleEvent().Wait(kInfinite);
  return STATUS_SUCCESS;
}

NTSTATUS CDevice::Stop() {
  return ServePnp([&]() -> NTSTATUS {
    m_transport.StopReadPump();
    m_transport.CardStatusEvent().Set();
    m_transport.Unconfigure();
    m_state.store(DeviceState::NotStarted);
    return STATUS_SUCCESS;
  });
}

NTSTATUS CDevice::Remove() {
  return ServePnpHolding([&](RemoveLockHold& hold) -> NTSTATUS {
    m_reader.StopCancelWatcher();
    if (State() != DeviceState::SurpriseRemoved) {
      // A request waiting for the device ends now with a read error.
      m_transport.AbortPipes();
    }
    m_state.store(DeviceState::Removed);
    m_units.Release(m_unit);
    m_card.StopTracking();
    hold.ReleaseAndWait();
    DbgPrint("Meridel: unit %u removed", static_cast<unsigned>(m_unit));
    return STATUS_SUCCESS;
  });
}

NTSTATUS CDevice::SurpriseRemoval() {
  return ServePnp([&]() -> NTSTATUS {
    m_state.store(DeviceState::SurpriseRemoved);
    m_transport.AbortPipes();
    return STATUS_SUCCESS;
  });
}

NTSTATUS CDevice::QueryCapabilities(DeviceCapabilities& caps) {
  return ServePnp([&]() -> NTSTATUS {
    const NTSTATUS status = CheckCapabilities(caps);
    if (!NT_SUCCESS(status)) {
      return status;
    }
    caps.surpriseRemovalOk = true;
    SpinLockGuard guard(m_powerLock);
    m_capabilities = KeptCapabilities(caps);
    return STATUS_SUCCESS;
  });
}

NTSTATUS CDevice::QueryPnpDeviceState(std::uint32_t* state) {
  *state = 0;
  return ServePnp([&]() -> NTSTATUS {
    if (DeviceFailed()) {
      *state = PNP_DEVICE_FAILED;
    }
    return STATUS_SUCCESS;
  });
}

void CDevice::OnDeviceFailed() {
  m_deviceFailed.store(true);
  // Plug and Play learns of it when it next queries the device state; a
  // system that can ask for that query at once does so in its report.
  DbgPrint("Meridel: unit %u failed: STATUS_SMARTCARD_IO_ERROR", static_cast<unsigned>(m_unit));
  if (m_failureReport != nullptr) {
    m_failureReport->OnDeviceFailed();
  }
}

DeviceCapabilities CDevice::Capabilities() {
  SpinLockGuard guard(m_powerLock);
  return m_capabilities;
}

}  // namespace qvx::driver
