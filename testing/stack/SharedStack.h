// The stack this test process talks to in-process (through the command
// library, pcsc-lite or the plug-in). pcsc-lite's client picks its pcscd
// once per process, so there is one such stack per process, brought up on
// first use and taken down at exit. The shared one of the end-to-end suites
// has two readers (one on the USB lane), unpaced. Tests that need another
// set-up, or break the device for good, run qvxcmd on a Stack of their own.
#pragma once

#include <functional>
#include <string>

#include "Stack.h"

namespace qvx::testing {

// What a suite does to its process's stack once it is up and exported to
// the process (settings the code under test reads, registrations). A
// non-empty answer says why the stack cannot serve.
using StackPreparation = std::function<std::string(Stack&)>;

// This process's one stack. The first call brings it up with `options` and
// `prepare`; later calls get that stack whatever they pass. nullptr when it
// could not come up (reason in *why).
Stack* ProcessStack(std::string* why, const StackOptions& options = {},
                    const StackPreparation& prepare = {});

// The options of the end-to-end suites' shared stack.
StackOptions SharedStackOptions();

// Puts a stack's simulators back to their unattended start: card
// in, customer confirming, default keypad time-out, nothing armed, trace
// cleared.
void ResetSimulators(const Stack& stack);

}  // namespace qvx::testing
