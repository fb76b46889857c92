#include "device/Device.h"

#include <new>
#include <utility>

#include "kernel/DebugPrint.h"
#include "reader/ReaderName.h"

namespace qvxrdr {

namespace {

constexpr char kTagPnp[] = "PnP";

// The reader's listed name: a USB device adds the strings it names itself
// with; a lower edge that cannot tell gives the plain name.
std::string ListedName(ILowerEdge& lower, std::uint32_t readerIndex) {
  UsbDescriptors descriptors;
  if (!NT_SUCCESS(lower.ReadDescriptors(descriptors))) {
    descriptors.strings = DeviceNameStrings{};
  }
  return ListedReaderName(descriptors.strings, readerIndex, ReaderNameExtension());
}

}  // namespace

std::unique_ptr<CDevice> CDevice::Add(std::unique_ptr<ILowerEdge> lower, std::uint32_t readerIndex,
                                      Options options) {
  if (!lower) {
    return nullptr;
  }
  CUnitBitmap& units = *options.units;
  const std::uint32_t unit = units.Allocate();
  try {
    std::string name = ListedName(*lower, readerIndex);
    auto device = std::make_unique<CDevice>(Key{}, std::move(lower), unit, readerIndex,
                                            std::move(name), options);
    units.DeviceAdded();
    return device;
  } catch (const std::bad_alloc&) {
    units.Release(unit);
    return nullptr;
  }
}

CDevice::CDevice(Key, std::unique_ptr<ILowerEdge> lower, std::uint32_t unit, std::uint32_t readerIndex,
                 std::string readerName, const Options& options)
    : unit_(unit),
      readerIndex_(readerIndex),
      readerName_(std::move(readerName)),
      units_(*options.units),
      capabilities_(KeptCapabilities(DeviceCapabilities{})),
      transport_(std::make_unique<CTransport>(std::move(lower), card_, options.writeRound)),
      reader_(std::make_unique<CReader>(*transport_, card_, unit, readerName_,
                                        [this] { OnDeviceFailed(); })) {}

CDevice::~CDevice() {
  if (State() != DeviceState::Removed) {
    Remove();
  }
}

// Plug and Play requests: refused once removed, each under the remove lock
// and counted as pending I/O.
template <class Body>
NTSTATUS CDevice::ServePnp(Body body) {
  if (State() == DeviceState::Removed) {
    return STATUS_DELETE_PENDING;
  }
  RemoveLockHold hold(removeLock_, kTagPnp);
  if (!hold.Held()) {
    return hold.Status();
  }
  PendingIoScope pending(pendingIo_);
  return body();
}

NTSTATUS CDevice::Start() {
  return ServePnp([&]() -> NTSTATUS {
    const NTSTATUS status = transport_->Configure();
    if (!NT_SUCCESS(status)) {
      DbgPrint("Meridel: start of unit %u failed (0x%08x)", static_cast<unsigned>(unit_),
               static_cast<unsigned>(status));
      return status;
    }
    state_.store(DeviceState::Started);
    transport_->ClearFlags();
    const NTSTATUS query = transport_->CardStatusQuery();
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
  RemoveLockHold hold(removeLock_, kTagPnp);
  if (!hold.Held()) {
    return hold.Status();
  }
  // This request itself does not count: wait for all the others.
  pendingIo_.IdleEvent().Wait(kInfinite);
  return STATUS_SUCCESS;
}

NTSTATUS CDevice::Stop() {
  return ServePnp([&]() -> NTSTATUS {
    transport_->StopReadPump();
    transport_->CardStatusEvent().Set();
    transport_->Unconfigure();
    state_.store(DeviceState::NotStarted);
    return STATUS_SUCCESS;
  });
}

NTSTATUS CDevice::Remove() {
  if (State() == DeviceState::Removed) {
    return STATUS_DELETE_PENDING;
  }
  RemoveLockHold hold(removeLock_, kTagPnp);
  if (!hold.Held()) {
    return hold.Status();
  }
  PendingIoScope pending(pendingIo_);
  reader_->StopCancelWatcher();
  if (State() != DeviceState::SurpriseRemoved) {
    // A request waiting for the device ends now with a read error.
    transport_->AbortPipes();
  }
  state_.store(DeviceState::Removed);
  units_.Release(unit_);
  card_.StopTracking();
  hold.ReleaseAndWait();
  DbgPrint("Meridel: unit %u removed", static_cast<unsigned>(unit_));
  return STATUS_SUCCESS;
}

NTSTATUS CDevice::SurpriseRemoval() {
  return ServePnp([&]() -> NTSTATUS {
    state_.store(DeviceState::SurpriseRemoved);
    transport_->AbortPipes();
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
    std::lock_guard<std::mutex> guard(powerLock_);
    capabilities_ = KeptCapabilities(caps);
    return STATUS_SUCCESS;
  });
}

NTSTATUS CDevice::QueryPnpDeviceState(std::uint32_t* state) {
  *state = 0;
  if (State() == DeviceState::Removed) {
    return STATUS_DELETE_PENDING;
  }
  RemoveLockHold hold(removeLock_, kTagPnp);
  if (!hold.Held()) {
    return hold.Status();
  }
  PendingIoScope pending(pendingIo_);
  if (DeviceFailed()) {
    *state = PNP_DEVICE_FAILED;
  }
  return STATUS_SUCCESS;
}

void CDevice::OnDeviceFailed() {
  deviceFailed_.store(true);
  // What the informational hard error and the device-state invalidation
  // would tell: the device is to be reported failed.
  DbgPrint("Meridel: unit %u failed: STATUS_SMARTCARD_IO_ERROR", static_cast<unsigned>(unit_));
}

DeviceCapabilities CDevice::Capabilities() {
  std::lock_guard<std::mutex> guard(powerLock_);
  return capabilities_;
}

}  // namespace qvxrdr
