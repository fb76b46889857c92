// The person at the keypad: a script for unattended runs, key presses for
// people at the control interface.
#pragma once

#include <string>

#include "device/DeviceTime.h"

namespace qvx::sim {

struct CustomerScript {
  enum class Kind { Approve, Cancel, Never };
  Kind kind = Kind::Approve;
  Millis delay{200};  // from the moment the device starts asking
};

// "approve 200", "cancel 500", "never"
std::string Describe(const CustomerScript& script);

struct KeyPress {
  enum class Kind { Digit, Ok, Cancel };
  Kind kind = Kind::Ok;
  char digit = '0';
};

// The PIN the script types before it presses OK.
constexpr const char* kScriptedPin = "1234";
constexpr std::size_t kMinPinDigits = 4;
constexpr std::size_t kMaxPinDigits = 12;

}  // namespace qvx::sim
