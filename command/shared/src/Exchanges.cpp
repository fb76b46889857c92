// Every input check runs inside the request builders, so nothing reaches
// the channel before the inputs are known to be good.
#include "command/Exchanges.h"

namespace qvx {

void ExchangeCheckDevice(IDeviceChannel& channel, const CRevision& revision,
                         DeviceVersions& versions) {
  const Bytes answer = channel.Execute(contract::ControlIndex::CheckDevice, Bytes{});
  ParseDeviceAnswer(revision, answer, versions);
}

CardId ExchangeCheckCard(IDeviceChannel& channel, const CRevision& revision,
                         const std::string& language) {
  const Bytes request = BuildCheckCardRequest(revision, language);
  return ParseCardAnswer(revision, channel.Execute(contract::ControlIndex::CheckCard, request));
}

Bytes ExchangeGetResponse(IDeviceChannel& channel, const CRevision& revision,
                          const std::string& signData, const std::string& language) {
  const Bytes request = BuildGetResponseRequest(revision, signData, language);
  return channel.Execute(contract::ControlIndex::GetResponse, request);
}

Bytes ExchangeGetMode1Response(IDeviceChannel& channel, const CRevision& revision,
                               const std::string& challenge, const std::string& currency,
                               const std::string& amount) {
  const Bytes request = BuildGetMode1ResponseRequest(revision, challenge, currency, amount);
  return channel.Execute(contract::ControlIndex::GetMode1Response, request);
}

Bytes ExchangeGetMode2Response(IDeviceChannel& channel) {
  return channel.Execute(contract::ControlIndex::GetMode2Response, Bytes{});
}

void ExchangeDisplayResult(IDeviceChannel& channel, const CRevision& revision,
                           std::uint16_t messageId, const std::string& lastLogon,
                           const std::string& language) {
  const Bytes request = BuildDisplayResultRequest(revision, messageId, lastLogon, language);
  channel.Execute(contract::ControlIndex::DisplayResult, request);
}

}  // namespace qvx
