// The boundary every command of both revisions ends at: one protected
// region, then the result text with every key of the command, values
// emptied after a failure.
#pragma once

#include <string>
#include <utility>

#include "command/Checks.h"
#include "command/Status.h"

namespace qvx {

// The labels both revisions trace their commands under.
constexpr const char* kCheckConnectionLabel = "CQuorvex2::CheckConnection()";
constexpr const char* kCheckCardLabel = "CQuorvex2::CheckCard()";
constexpr const char* kGetResponseLabel = "CQuorvex2::GetResponse()";
constexpr const char* kGetMode1ResponseLabel = "CQuorvex2::GetMode1Response()";
constexpr const char* kGetMode2ResponseLabel = "CQuorvex2::GetMode2Response()";
constexpr const char* kDisplayResultLabel = "CQuorvex2::DisplayResult()";

struct CommandOutcome {
  Status status = kStatusSuccess;
  bool failed = false;
};

// Runs the steps. The revision's raised type ends them with its status and
// is handed to onFailure (which must not raise); anything else ends them
// with status 1.
template <typename Failure, typename Steps, typename OnFailure>
CommandOutcome RunCommand(Steps&& steps, OnFailure&& onFailure) {
  CommandOutcome outcome;
  try {
    std::forward<Steps>(steps)();
  } catch (const Failure& failure) {
    outcome.status = failure.GetStatus();
    outcome.failed = true;
    std::forward<OnFailure>(onFailure)(failure);
  } catch (...) {
    outcome.status = kStatusCommunicationError;
    outcome.failed = true;
  }
  return outcome;
}

// Device_Version, Driver_Version (as far as they were read, also after a
// failure) and BRIXON_Version.
std::string ConnectionResultText(Status status, const DeviceVersions& versions,
                                 const char* revisionVersion);
// CardId_PAN, CardId_PSN.
std::string CardResultText(const CommandOutcome& outcome, const std::string& panHex,
                           const std::string& psnHex);
// Response, in hexadecimal.
std::string ResponseResultText(const CommandOutcome& outcome, const Bytes& response);

}  // namespace qvx
