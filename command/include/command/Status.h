// The sixteen numbered outcomes of a command and the result text built from
// them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qvx {

using Status = std::int32_t;

constexpr Status STATUS_SUCCESS = 0;
constexpr Status STATUS_COMMUNICATION_ERROR = 1;
constexpr Status STATUS_DEVICE_NOT_CONNECTED = 2;
constexpr Status STATUS_DEVICE_ERROR = 3;
constexpr Status STATUS_INCORRECT_DEVICE_VERSION = 4;
constexpr Status STATUS_CARD_TYPE_NOT_SUPPORTED = 5;
constexpr Status STATUS_CARD_BLOCKED = 6;
constexpr Status STATUS_CANCEL_BY_USER = 7;
constexpr Status STATUS_TIMEOUT = 8;
constexpr Status STATUS_CARD_ID_NOT_FOUND = 9;
constexpr Status STATUS_SW1SW2 = 10;
constexpr Status STATUS_PIN_LOCKED = 11;
constexpr Status STATUS_INPUT_ERROR = 12;
constexpr Status STATUS_BRIXON_NOT_INSTALLED = 13;
constexpr Status STATUS_DEVICE_IN_USE = 14;
constexpr Status STATUS_CANCEL_BY_OTHER_SESSION = 15;

// "Success" ... "Cancel by other session"; "Unknown Status" outside 0..15.
const char* StatusDescription(Status status);

// Key/value items after Status and StatusDescription, in the command's order.
using ResultItems = std::vector<std::pair<std::string, std::string>>;

// "Status=<n>\nStatusDescription=<text>" then "\n<key>=<value>" per item; no
// trailing line feed.
std::string BuildResultText(Status status, const ResultItems& items);

}  // namespace qvx
