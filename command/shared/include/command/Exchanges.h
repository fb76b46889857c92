// The device exchanges of the commands: checks and request, one vendor
// request over a channel, answer parsing. Shared by every revision.
#pragma once

#include <cstdint>
#include <string>

#include "command/Channel.h"
#include "command/Checks.h"
#include "command/Revision.h"

namespace qvx {

// Fills `versions` as far as the answer could be read; raises on a malformed
// answer. The version check is the caller's (CheckVersions).
void ExchangeCheckDevice(IDeviceChannel& channel, const CRevision& revision,
                         DeviceVersions& versions);
CardId ExchangeCheckCard(IDeviceChannel& channel, const CRevision& revision,
                         const std::string& language);
Bytes ExchangeGetResponse(IDeviceChannel& channel, const CRevision& revision,
                          const std::string& signData, const std::string& language);
Bytes ExchangeGetMode1Response(IDeviceChannel& channel, const CRevision& revision,
                               const std::string& challenge, const std::string& currency,
                               const std::string& amount);
Bytes ExchangeGetMode2Response(IDeviceChannel& channel);
// The device's answer to DisplayResult carries nothing and is dropped.
void ExchangeDisplayResult(IDeviceChannel& channel, const CRevision& revision,
                           std::uint16_t messageId, const std::string& lastLogon,
                           const std::string& language);

}  // namespace qvx
