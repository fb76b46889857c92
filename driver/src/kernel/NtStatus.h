// Kernel status values of the driver.
//
// Offers: NTSTATUS, NT_SUCCESS(), the system status values the driver uses
// (Windows numbering), the transport's internal codes (0xE000200x) and the
// results of the device response check (0xA010xxxx / 0xE010000x). Every
// routine of the driver returns one of these; only the entry points (the IFD
// handler, the WDM dispatch routines) turn them into their system's codes.
// The system's own values come from kernel/os/SystemStatus.h: Windows
// numbering on both systems, the real headers' on Windows.
#pragma once

#include <cstdint>

#include "kernel/os/SystemStatus.h"

namespace qvx::driver {

// Transport results: why a packet exchange with the device ended.
constexpr NTSTATUS QVX_STATUS_EVENT_0B =
    static_cast<NTSTATUS>(0xE0002001u);  // device sent event header 01 03 0B
constexpr NTSTATUS QVX_STATUS_EVENT_07 =
    static_cast<NTSTATUS>(0xE0002002u);  // device sent event header 01 03 07
constexpr NTSTATUS QVX_STATUS_FRAMING =
    static_cast<NTSTATUS>(0xE0002003u);  // device broke the packet framing
constexpr NTSTATUS QVX_STATUS_READ_FAILED =
    static_cast<NTSTATUS>(0xE0002004u);  // the IN transfer failed
constexpr NTSTATUS QVX_STATUS_WRITE_FAILED =
    static_cast<NTSTATUS>(0xE0002005u);  // the OUT transfer failed

// Response check results. The device error ones are named after the first
// error byte (response code 8) of the group that selects them.
constexpr NTSTATUS QVX_STATUS_RESPONSE_6 = static_cast<NTSTATUS>(0xA010000Au);  // response code 6
constexpr NTSTATUS QVX_STATUS_ERROR_OTHER =
    static_cast<NTSTATUS>(0xA0100014u);  // any error byte not listed below
constexpr NTSTATUS QVX_STATUS_UNEXPECTED_RESPONSE =
    static_cast<NTSTATUS>(0xE0100000u);  // wrong code, or code 8 without data
constexpr NTSTATUS QVX_STATUS_ERROR_128 =
    static_cast<NTSTATUS>(0xE0100001u);  // 128, 129, 132, 134..137
constexpr NTSTATUS QVX_STATUS_ERROR_36 = static_cast<NTSTATUS>(0xE0100002u);  // 36
constexpr NTSTATUS QVX_STATUS_ERROR_25 =
    static_cast<NTSTATUS>(0xE0100003u);  // 25, 33, 37, 40; also local input checks
constexpr NTSTATUS QVX_STATUS_ERROR_130 = static_cast<NTSTATUS>(0xA010006Cu);  // 130
constexpr NTSTATUS QVX_STATUS_ERROR_131 = static_cast<NTSTATUS>(0xA0100001u);  // 131, 133
constexpr NTSTATUS QVX_STATUS_ERROR_1 =
    static_cast<NTSTATUS>(0xA010001Cu);  // 1..9, 16..24, 32, 34, 35, 38, 39, 41
constexpr NTSTATUS QVX_STATUS_ERROR_48 = static_cast<NTSTATUS>(0xA0100013u);  // 48..52, 64..72, 114

}  // namespace qvx::driver
