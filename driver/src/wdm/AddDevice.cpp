// AddDevice: a unit number, the device object, the place in the device
// stack and the reader interface.
#include "wdm/AddDevice.h"

#include <new>

#include "device/UnitBitmap.h"
#include "kernel/DebugPrint.h"
#include "reader/ReaderAttributes.h"
#include "wdm/UrbLowerEdge.h"
#include "wdm/DeviceExtension.h"
#include "wdm/ReaderFunctions.h"
#include "wdm/ReaderInterface.h"

namespace qvx::driver::wdm {

namespace {

template <std::size_t N>
void SetAttribute(decltype(VENDOR_ATTR::VendorName)& attribute, const char (&text)[N]) {
  static_assert(N <= MAXIMUM_ATTR_STRING_LENGTH, "an attribute string fits its buffer");
  RtlCopyMemory(attribute.Buffer, text, N);
  attribute.Length = static_cast<USHORT>(N);  // with the terminating zero
}

// The smart-card extension as the reader presents itself (the values the
// Linux driver reports too: reader/ReaderAttributes.h).
NTSTATUS InitializeSmartcard(DeviceExtension& extension) {
  const ReaderCapabilities reader;
  SMARTCARD_EXTENSION& card = extension.smartcard;
  card.Version = SMCLIB_VERSION;
  SetAttribute(card.VendorAttr.VendorName, kVendorName);
  SetAttribute(card.VendorAttr.IfdType, kIfdType);
  card.VendorAttr.UnitNo = extension.unit;
  SCARD_READER_CAPABILITIES& caps = card.ReaderCapabilities;
  caps.SupportedProtocols = reader.supportedProtocols;
  caps.ReaderType = reader.readerType;
  caps.MechProperties = reader.mechProperties;
  caps.CurrentState = SCARD_ABSENT;
  caps.CLKFrequency.Default = reader.clkFrequencyDefault;
  caps.CLKFrequency.Max = reader.clkFrequencyMax;
  caps.DataRate.Default = reader.dataRateDefault;
  caps.DataRate.Max = reader.dataRateMax;
  for (std::size_t i = 0; i < reader.dataRatesSupported.size(); ++i) {
    extension.dataRates[i] = reader.dataRatesSupported[i];
  }
  caps.DataRatesSupported.List = extension.dataRates;
  caps.DataRatesSupported.Entries = static_cast<UCHAR>(reader.dataRatesSupported.size());
  caps.MaxIFSD = reader.maxIfsd;
  card.SmartcardRequest.BufferSize = static_cast<ULONG>(SmartcardExtension{}.requestBufferSize);
  card.SmartcardReply.BufferSize = static_cast<ULONG>(SmartcardExtension{}.replyBufferSize);
  SetReaderFunctions(card);
  card.ReaderExtension = &extension;
  const NTSTATUS status = SmartcardInitialize(&card);
  if (NT_SUCCESS(status)) {
    card.OsData->DeviceObject = extension.self;
  }
  return status;
}

// The core's device over the URB lower edge, named by the unit as the
// smart-card service names the reader ("Meridel Quorvex2_Reader 0"), with
// the cancel event hosts derive from that name.
NTSTATUS CreateCore(DeviceExtension& extension) {
  char name[40] = "Meridel Quorvex2_Reader 0";
  const std::size_t digit = sizeof "Meridel Quorvex2_Reader " - 1;
  name[digit] = static_cast<char>('0' + extension.unit % 10);
  char event[96] = "\\BaseNamedObjects\\Global\\";
  std::size_t at = sizeof "\\BaseNamedObjects\\Global\\" - 1;
  for (std::size_t i = 0; name[i] != '\0'; ++i) event[at++] = name[i];
  for (const char c : "_cancel_event") event[at++] = c;
  auto* urb = new (kPool) CUrbLowerEdge(extension.self, extension.lower);
  KOwned<ILowerEdge> edge(urb);
  if (!edge) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  CDevice::Options options;
  options.failureReport = &extension.failureReport;
  extension.device = MakeOwned<CDevice>(static_cast<KOwned<ILowerEdge>&&>(edge), extension.unit, 0u,
                                        name, event, options);
  if (!extension.device) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  extension.urb = urb;
  extension.device->Card().SetTrackingListener(&extension.tracking);
  return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical) {
  CUnitBitmap& units = DriverUnits();
  const std::uint32_t unit = units.Allocate();
  PDEVICE_OBJECT device = nullptr;
  NTSTATUS status = IoCreateDevice(driver, sizeof(DeviceExtension), nullptr, FILE_DEVICE_SMARTCARD,
                                   0, FALSE, &device);
  if (!NT_SUCCESS(status)) {
    units.Release(unit);
    return status;
  }
  DeviceExtension& extension = *new (device->DeviceExtension) DeviceExtension();
  extension.self = device;
  extension.physical = physical;
  extension.unit = unit;
  IoRegisterShutdownNotification(device);

  status = InitializeSmartcard(extension);
  if (NT_SUCCESS(status)) {
    extension.lower = IoAttachDeviceToDeviceStack(device, physical);
    status = extension.lower != nullptr ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
  }
  if (NT_SUCCESS(status)) {
    status = CreateCore(extension);
  }
  if (NT_SUCCESS(status)) {
    status = IoRegisterDeviceInterface(physical, &kSmartcardReaderInterface, nullptr,
                                       &extension.interfaceName);
  }
  if (!NT_SUCCESS(status)) {
    DbgPrint("Meridel: unit %u not added (0x%08x)", static_cast<unsigned>(unit),
             static_cast<unsigned>(status));
    if (extension.lower != nullptr) {
      IoDetachDevice(extension.lower);
    }
    IoUnregisterShutdownNotification(device);
    SmartcardExit(&extension.smartcard);
    extension.~DeviceExtension();
    IoDeleteDevice(device);
    units.Release(unit);
    return status;
  }
  units.DeviceAdded();
  device->Flags |= DO_BUFFERED_IO | DO_POWER_PAGABLE;
  device->Flags &= ~static_cast<ULONG>(DO_DEVICE_INITIALIZING);
  DbgPrint("Meridel: unit %u added", static_cast<unsigned>(unit));
  return STATUS_SUCCESS;
}

}  // namespace qvx::driver::wdm
