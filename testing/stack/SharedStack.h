// The stack this test process talks to in-process (through the command
// library and pcsc-lite). pcsc-lite's client picks its pcscd once per
// process, so there is one such stack per process: two readers (one on the
// USB lane), unpaced, brought up on first use and taken down at exit. Tests
// that need another set-up, or break the device for good, run qvxcmd on a
// Stack of their own.
#pragma once

#include <string>

#include "Stack.h"

namespace qvx::testing {

// nullptr when the machine cannot run a stack (reason in *why).
Stack* SharedStack(std::string* why);

// Puts a stack's simulators back to their unattended start: card
// in, customer confirming, default keypad time-out, nothing armed, trace
// cleared.
void ResetSimulators(const Stack& stack);

}  // namespace qvx::testing
