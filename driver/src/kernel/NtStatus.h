// Kernel status values of the driver.
//
// Offers: NTSTATUS, NT_SUCCESS(), the system status values the driver uses
// (Windows numbering), the transport's internal codes (0xE000200x) and the
// results of the device response check (0xA010xxxx / 0xE010000x). Every
// routine of the driver returns one of these; only the IFD entry points turn
// them into pcsc-lite response codes.
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

// Transport results: why a packet exchange with the device ended.
constexpr NTSTATUS QVX_STATUS_EVENT_0B = 0xE0002001u;      // device sent event header 01 03 0B
constexpr NTSTATUS QVX_STATUS_EVENT_07 = 0xE0002002u;      // device sent event header 01 03 07
constexpr NTSTATUS QVX_STATUS_FRAMING = 0xE0002003u;       // device broke the packet framing
constexpr NTSTATUS QVX_STATUS_READ_FAILED = 0xE0002004u;   // the IN transfer failed
constexpr NTSTATUS QVX_STATUS_WRITE_FAILED = 0xE0002005u;  // the OUT transfer failed

// Response check results. The device error ones are named after the first
// error byte (response code 8) of the group that selects them.
constexpr NTSTATUS QVX_STATUS_RESPONSE_6 = 0xA010000Au;   // response code 6
constexpr NTSTATUS QVX_STATUS_ERROR_OTHER = 0xA0100014u;  // any error byte not listed below
constexpr NTSTATUS QVX_STATUS_UNEXPECTED_RESPONSE =
    0xE0100000u;                                        // wrong code, or code 8 without data
constexpr NTSTATUS QVX_STATUS_ERROR_128 = 0xE0100001u;  // 128, 129, 132, 134..137
constexpr NTSTATUS QVX_STATUS_ERROR_36 = 0xE0100002u;   // 36
constexpr NTSTATUS QVX_STATUS_ERROR_25 = 0xE0100003u;   // 25, 33, 37, 40; also local input checks
constexpr NTSTATUS QVX_STATUS_ERROR_130 = 0xA010006Cu;  // 130
constexpr NTSTATUS QVX_STATUS_ERROR_131 = 0xA0100001u;  // 131, 133
constexpr NTSTATUS QVX_STATUS_ERROR_1 = 0xA010001Cu;    // 1..9, 16..24, 32, 34, 35, 38, 39, 41
constexpr NTSTATUS QVX_STATUS_ERROR_48 = 0xA0100013u;   // 48..52, 64..72, 114

}  // namespace qvx::driver
