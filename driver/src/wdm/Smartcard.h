// The part of smclib's contract the driver uses, under smclib's names, so
// that linking the system's smclib.lib (with its smclib.h) instead is a
// build choice. Neither MinGW nor Wine has smclib.
//
// Covered: the smart-card extension (vendor attributes, reader and card
// capabilities, the reader function table, the request in IoRequest, OsData
// with the card-tracking request), SmartcardInitialize/SmartcardExit,
// SmartcardRawRequest, and SmartcardDeviceControl with smclib's parameter
// checks: attributes (get, and the one settable flag), state, card power,
// set protocol, transmit (SCARD_IO_REQUEST header, the card in the
// specific state with that protocol), card tracking (IS_PRESENT/IS_ABSENT
// answered at once when the state holds, otherwise handed to
// RDF_CARD_TRACKING; one at a time) and every other code to
// RDF_IOCTL_VENDOR. Calls that reach a reader function are serialised per
// device.
#pragma once

#include "kernel/os/Wdm.h"

// The system's smart-card definitions (control codes, attribute ids,
// states); its DWORD and BYTE are the ones kernel code lacks.
#include <winsmcrd.h>

namespace qvx::driver::wdm {

constexpr ULONG SMCLIB_VERSION = 0x150;

// Slots of SMARTCARD_EXTENSION::ReaderFunction.
enum : ULONG {
  RDF_CARD_POWER = 0,
  RDF_TRANSMIT = 1,
  RDF_CARD_EJECT = 2,
  RDF_READER_SWALLOW = 3,
  RDF_CARD_TRACKING = 4,
  RDF_SET_PROTOCOL = 5,
  RDF_DEBUG_LEVEL = 6,
  RDF_CARD_CONFISCATE = 7,
  RDF_IOCTL_VENDOR = 8,
  RDF_ATR_PARSE = 9,
  RDF_COUNT = 16,
};

constexpr ULONG kMaximumAtrLength = 64;

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

struct SCARD_CARD_CAPABILITIES {
  struct {
    UCHAR Buffer[kMaximumAtrLength];
    UCHAR Length;
  } ATR;
  struct {
    ULONG Supported;
    ULONG Selected;
  } Protocol;
};

// smclib's buffers for the bytes a reader function exchanges with a card.
struct SMARTCARD_REQUEST {
  PUCHAR Buffer;
  ULONG BufferSize;
  ULONG BufferLength;
};
using SMARTCARD_REPLY = SMARTCARD_REQUEST;

// What smclib keeps of the system per device; made by
// SmartcardInitialize.
struct OS_DEP_DATA {
  PDEVICE_OBJECT DeviceObject;
  PIRP CurrentIrp;
  PIRP NotificationIrp;  // the pending IS_PRESENT or IS_ABSENT
  KSPIN_LOCK SpinLock;   // NotificationIrp
  // One reader function at a time: a synchronization event used as a lock
  // (signalled while free), since Wine's KeReleaseMutex wakes no waiter.
  KEVENT Mutex;
};
using POS_DEP_DATA = OS_DEP_DATA*;

struct SMARTCARD_EXTENSION;
using PSMARTCARD_EXTENSION = SMARTCARD_EXTENSION*;
using PREADER_FUNCTION = NTSTATUS (*)(PSMARTCARD_EXTENSION);

struct SMARTCARD_EXTENSION {
  ULONG Version;
  VENDOR_ATTR VendorAttr;
  PREADER_FUNCTION ReaderFunction[RDF_COUNT];
  SCARD_CARD_CAPABILITIES CardCapabilities;
  // The request a reader function serves: the caller's buffers.
  struct {
    PULONG_PTR Information;
    PUCHAR RequestBuffer;
    ULONG RequestBufferLength;
    PUCHAR ReplyBuffer;
    ULONG ReplyBufferLength;
  } IoRequest;
  ULONG MajorIoControlCode;
  ULONG MinorIoControlCode;
  POS_DEP_DATA OsData;
  SCARD_READER_CAPABILITIES ReaderCapabilities;
  PVOID ReaderExtension;  // the driver's reader context
  SMARTCARD_REPLY SmartcardReply;
  SMARTCARD_REQUEST SmartcardRequest;
};

// STATUS_INVALID_PARAMETER for an extension of an older version;
// allocates OsData and the request and reply buffers of the sizes set.
NTSTATUS SmartcardInitialize(PSMARTCARD_EXTENSION extension);
VOID SmartcardExit(PSMARTCARD_EXTENSION extension);
// Copies the APDU after the request's SCARD_IO_REQUEST header into
// SmartcardRequest.
NTSTATUS SmartcardRawRequest(PSMARTCARD_EXTENSION extension);
// Serves one IOCTL_SMARTCARD_* or vendor request; completes it unless a
// reader function answered STATUS_PENDING.
NTSTATUS SmartcardDeviceControl(PSMARTCARD_EXTENSION extension, PIRP irp);

}  // namespace qvx::driver::wdm
