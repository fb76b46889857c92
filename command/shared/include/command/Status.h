// The sixteen numbered outcomes of a command and the result text built from
// them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qvx {

using Status = std::int32_t;

constexpr Status kStatusSuccess = 0;
constexpr Status kStatusCommunicationError = 1;
constexpr Status kStatusDeviceNotConnected = 2;
constexpr Status kStatusDeviceError = 3;
constexpr Status kStatusIncorrectDeviceVersion = 4;
constexpr Status kStatusCardTypeNotSupported = 5;
constexpr Status kStatusCardBlocked = 6;
constexpr Status kStatusCancelByUser = 7;
constexpr Status kStatusTimeout = 8;
constexpr Status kStatusCardIdNotFound = 9;
constexpr Status kStatusSw1Sw2 = 10;
constexpr Status kStatusPinLocked = 11;
constexpr Status kStatusInputError = 12;
constexpr Status kStatusBrixonNotInstalled = 13;
constexpr Status kStatusDeviceInUse = 14;
constexpr Status kStatusCancelByOtherSession = 15;

// "Success" ... "Cancel by other session"; "Unknown Status" outside 0..15.
const char* StatusDescription(Status status);

// Key/value items after Status and StatusDescription, in the command's order.
using ResultItems = std::vector<std::pair<std::string, std::string>>;

// "Status=<n>\nStatusDescription=<text>" then "\n<key>=<value>" per item; no
// trailing line feed.
std::string BuildResultText(Status status, const ResultItems& items);

}  // namespace qvx
