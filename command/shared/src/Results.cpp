#include "command/Results.h"

namespace qvx {
namespace {

std::string Unless(bool failed, const std::string& value) { return failed ? std::string() : value; }

}  // namespace

std::string ConnectionResultText(Status status, const DeviceVersions& versions,
                                 const char* revisionVersion) {
  return BuildResultText(status, {{"Device_Version", versions.device},
                                  {"Driver_Version", versions.driver},
                                  {"BRIXON_Version", revisionVersion}});
}

std::string CardResultText(const CommandOutcome& outcome, const std::string& panHex,
                           const std::string& psnHex) {
  return BuildResultText(outcome.status, {{"CardId_PAN", Unless(outcome.failed, panHex)},
                                          {"CardId_PSN", Unless(outcome.failed, psnHex)}});
}

std::string ResponseResultText(const CommandOutcome& outcome, const Bytes& response) {
  return BuildResultText(outcome.status,
                         {{"Response", outcome.failed ? std::string() : Bin2Hex(response)}});
}

}  // namespace qvx
