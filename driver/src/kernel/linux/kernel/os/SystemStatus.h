// The system status values the driver uses, for the Linux build: Windows
// numbering (with the Plug and Play device state it reports), in the driver's namespace (the
// Windows build takes the real ones from ntstatus.h).
#pragma once

#include <cstdint>

namespace qvx::driver {

using NTSTATUS = std::uint32_t;

// Success and informational values have the top bit clear.
constexpr bool NT_SUCCESS(NTSTATUS status) { return status < 0x80000000u; }

constexpr NTSTATUS STATUS_SUCCESS = 0x00000000u;
constexpr NTSTATUS STATUS_WAIT_0 = 0x00000000u;  // plus the index of the signalled object
constexpr NTSTATUS STATUS_TIMEOUT = 0x00000102u;
constexpr NTSTATUS STATUS_PENDING = 0x00000103u;
constexpr NTSTATUS STATUS_UNSUCCESSFUL = 0xC0000001u;
constexpr NTSTATUS STATUS_INVALID_PARAMETER = 0xC000000Du;
constexpr NTSTATUS STATUS_INVALID_DEVICE_REQUEST = 0xC0000010u;
constexpr NTSTATUS STATUS_UNRECOGNIZED_MEDIA = 0xC0000014u;
constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = 0xC0000023u;
constexpr NTSTATUS STATUS_DELETE_PENDING = 0xC0000056u;
constexpr NTSTATUS STATUS_INSUFFICIENT_RESOURCES = 0xC000009Au;
constexpr NTSTATUS STATUS_IO_TIMEOUT = 0xC00000B5u;
constexpr NTSTATUS STATUS_CANCELLED = 0xC0000120u;
constexpr NTSTATUS STATUS_NO_MEDIA = 0xC0000178u;
constexpr NTSTATUS STATUS_INVALID_DEVICE_STATE = 0xC0000184u;
constexpr NTSTATUS STATUS_DEVICE_REMOVED = 0xC00002B6u;

// Answer to a device-state query: the device has failed.
constexpr std::uint32_t PNP_DEVICE_FAILED = 0x00000004u;

}  // namespace qvx::driver
