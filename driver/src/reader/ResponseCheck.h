// Whether a device response is the one a command requires, and which
// internal result a device error byte stands for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/NtStatus.h"

namespace qvx::driver {

// Response codes of the device.
constexpr std::uint8_t kResponseOk1 = 1;  // passes only with first data byte 1
constexpr std::uint8_t kResponseTimeout = 6;
constexpr std::uint8_t kResponseDeviceError = 8;

// Internal result of device error byte `errorByte` (response code 8).
NTSTATUS DeviceErrorResult(std::uint8_t errorByte);

// STATUS_SUCCESS when `code` is the required one (code 1 also needs first
// data byte 1); otherwise the internal result of the failure.
NTSTATUS CheckResponse(std::uint8_t required, std::uint8_t code, const std::uint8_t* data,
                       std::size_t size);

}  // namespace qvx::driver
