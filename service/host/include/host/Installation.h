// Installing and removing brixwssvr as a service of the machine.
#pragma once

#include <cstddef>

namespace qvx::host {

constexpr std::size_t kMessageSize = 255;

// Registers the service (started at boot, not started now) and gives the
// machine its own brixwssvr.pem when the program has none yet. On failure
// writes one message into message (kMessageSize bytes) and returns false.
bool SetUpService(char* message);

// The Windows installer's steps, after it has registered the service
// itself: gives the machine its brixwssvr.pem beside the program unless it
// has one (an upgrade keeps the key), lets the service account read it and
// puts its local root into the machine's Root store; and, when the package
// is removed for good (the service no longer runs: during an upgrade the
// newer version's does), takes the root out and deletes the key.
bool MakeInstalledKey(char* message);
bool RemoveInstalledKey(char* message);

// Stops the service if it runs (checking every 1000 ms) and removes it.
bool RemoveService(char* message);

}  // namespace qvx::host
