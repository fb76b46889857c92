// The part of smclib's contract the driver uses, under smclib's names, so
// that linking the system's smclib.lib (with its smclib.h) instead is a
// build choice. Neither MinGW nor Wine has smclib.
//
// Covered: the smart-card extension's vendor attributes and reader
// capabilities, SmartcardInitialize/SmartcardExit, and in
// SmartcardDeviceControl the parameter checks and answers of
// IOCTL_SMARTCARD_GET_ATTRIBUTE (vendor name, reader type, unit, channel,
// protocol types, clock, data rate, maximum IFSD, characteristics, current
// state) and IOCTL_SMARTCARD_GET_STATE. The reader functions (power,
// transmit, protocol, card tracking, vendor) are not yet connected:
// their codes answer STATUS_NOT_SUPPORTED.
#pragma once

#include "kernel/os/Wdm.h"

// The system's smart-card definitions (control codes, attribute ids,
// states); its DWORD and BYTE are the ones kernel code lacks.
#include <winsmcrd.h>

namespace qvx::driver::wdm {

constexpr ULONG SMCLIB_VERSION = 0x150;

struct VENDOR_ATTR {
  struct {
    USHORT Length;  // counts the terminating zero byte
    UCHAR Buffer[MAXIMUM_ATTR_STRING_LENGTH];
  } VendorName, IfdType;
  ULONG UnitNo;
};

struct SCARD_READER_CAPABILITIES {
  ULONG SupportedProtocols;
  ULONG ReaderType;
  ULONG MechProperties;
  ULONG CurrentState;
  ULONG Channel;
  struct {
    ULONG Default;
    ULONG Max;
  } CLKFrequency, DataRate;
  struct {
    PULONG List;
    UCHAR Entries;
  } DataRatesSupported;
  ULONG MaxIFSD;
};

struct SMARTCARD_EXTENSION {
  ULONG Version;
  VENDOR_ATTR VendorAttr;
  SCARD_READER_CAPABILITIES ReaderCapabilities;
  PVOID ReaderExtension;        // the driver's reader context
  PDEVICE_OBJECT DeviceObject;  // smclib keeps it in OsData
};
using PSMARTCARD_EXTENSION = SMARTCARD_EXTENSION*;

// STATUS_INVALID_PARAMETER for an extension of an older version.
NTSTATUS SmartcardInitialize(PSMARTCARD_EXTENSION extension);
VOID SmartcardExit(PSMARTCARD_EXTENSION extension);
// Serves one IOCTL_SMARTCARD_* request and completes it.
NTSTATUS SmartcardDeviceControl(PSMARTCARD_EXTENSION extension, PIRP irp);

}  // namespace qvx::driver::wdm
