// The seven commands of the plug-in's revision and their boundary: trace,
// one protected region, status from a caught CError (which logged itself
// when it was built), result text with every key. Inputs are checked before
// the reader access is asked for, so a bad input never waits on the device.
#include "brixon/Quorvex2.h"

#include <utility>

#include "brixon/CommandTrace.h"
#include "brixon/Log.h"
#include "brixon/Revision.h"
#include "command/Exchanges.h"
#include "command/VisibleText.h"
#include "platform/System.h"

namespace qvx::brixon {
namespace {

constexpr const char* kCreateLabel = "BRIXON_Create (v01.06)";
constexpr const char* kDestroyLabel = "BRIXON_Destroy";
constexpr const char* kCheckCardLabel = "CQuorvex2::CheckCard()";
constexpr const char* kGetResponseLabel = "CQuorvex2::GetResponse()";
constexpr const char* kGetMode1ResponseLabel = "CQuorvex2::GetMode1Response()";
constexpr const char* kGetMode2ResponseLabel = "CQuorvex2::GetMode2Response()";
constexpr const char* kDisplayResultLabel = "CQuorvex2::DisplayResult()";
constexpr const char* kCancelLabel = "CQuorvex2::Cancel()";
constexpr std::size_t kShownPanDigits = 6;

std::string LastDigits(const std::string& hex, std::size_t count) {
  return hex.size() <= count ? hex : hex.substr(hex.size() - count);
}

}  // namespace

CQuorvex2::CQuorvex2(ReaderAccessFactory factory) : m_factory(std::move(factory)) {
  const CCommandTrace trace(kCreateLabel);
  try {
    Reader();
  } catch (...) {
    // A CError has logged itself; the next command tries again.
  }
}

CQuorvex2::~CQuorvex2() {
  try {
    const CCommandTrace trace(kDestroyLabel);
    m_reader.reset();
  } catch (...) {
    // Destruction goes on whatever the reader access reports.
  }
}

IReaderAccess& CQuorvex2::Reader() {
  if (!m_reader) {
    if (m_factory) m_reader = m_factory();
    if (!m_reader) {
      throw CError("CQuorvex2::Reader()", "No reader access available.");
    }
  }
  return *m_reader;
}

template <typename Steps>
CQuorvex2::Outcome CQuorvex2::Run(Steps&& steps) {
  Outcome outcome;
  try {
    std::forward<Steps>(steps)();
  } catch (const CError& error) {
    outcome.status = error.GetStatus();
    outcome.failed = true;
    outcome.error = error;
  } catch (...) {
    outcome.status = kStatusCommunicationError;
    outcome.failed = true;
  }
  return outcome;
}

void CQuorvex2::CheckDevice(DeviceVersions& versions) {
  ExchangeCheckDevice(Reader(), PluginRevision(), versions);
}

std::string CQuorvex2::CheckConnection() {
  const CRevision& revision = PluginRevision();
  DeviceVersions versions;
  const Outcome outcome = Run([&] {
    CheckDevice(versions);
    CheckVersions(revision, versions.driver, versions.device);
  });
  if (outcome.error && m_errorBox) {
    const std::string text = outcome.error->Message() + "\n\n" + outcome.error->GetText();
    MessageBox(nullptr, text.c_str(), kErrorBoxCaption, MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL);
  }
  CLog::Log(LEVEL_INFO, "LenDeviceVersion/LenDriverVersion/DeviceVersion/DriverVersion: " +
                            std::to_string(versions.device.size()) + "/" +
                            std::to_string(versions.driver.size()) + "/" + versions.device + "/" +
                            versions.driver);
  return BuildResultText(outcome.status, {{"Device_Version", versions.device},
                                          {"Driver_Version", versions.driver},
                                          {"BRIXON_Version", revision.Version()}});
}

std::string CQuorvex2::CheckCard(const std::string& language) {
  const CCommandTrace trace(kCheckCardLabel);
  std::string pan;
  std::string psn;
  const Outcome outcome = Run([&] {
    // Checks first: a bad input never reaches the reader access.
    const Bytes request = BuildCheckCardRequest(PluginRevision(), language);
    const CardId card = ParseCardAnswer(
        PluginRevision(), Reader().Execute(contract::ControlIndex::CheckCard, request));
    pan = Bin2Hex(card.pan);
    psn = Bin2Hex(card.psn);
    CLog::Log(LEVEL_INFO, "Len/CardId_PAN: " + std::to_string(card.pan.size()) + "/0x" +
                              LastDigits(pan, kShownPanDigits));
    CLog::Log(LEVEL_INFO, "Len/CardId_PSN: " + std::to_string(card.psn.size()) + "/0x" + psn);
  });
  if (outcome.failed) {
    pan.clear();
    psn.clear();
  }
  return BuildResultText(outcome.status, {{"CardId_PAN", pan}, {"CardId_PSN", psn}});
}

template <typename Exchange>
std::string CQuorvex2::ResponseCommand(const char* label, Exchange&& exchange) {
  const CCommandTrace trace(label);
  std::string response;
  const Outcome outcome = Run([&] { response = Bin2Hex(std::forward<Exchange>(exchange)()); });
  if (outcome.failed) response.clear();
  return BuildResultText(outcome.status, {{"Response", response}});
}

std::string CQuorvex2::GetResponse(const std::string& signData, const std::string& language) {
  return ResponseCommand(kGetResponseLabel, [&] {
    const Bytes request = BuildGetResponseRequest(PluginRevision(), signData, language);
    return Reader().Execute(contract::ControlIndex::GetResponse, request);
  });
}

std::string CQuorvex2::GetMode1Response(const std::string& challenge, const std::string& currency,
                                        const std::string& amount) {
  return ResponseCommand(kGetMode1ResponseLabel, [&] {
    const Bytes request =
        BuildGetMode1ResponseRequest(PluginRevision(), challenge, currency, amount);
    return Reader().Execute(contract::ControlIndex::GetMode1Response, request);
  });
}

std::string CQuorvex2::GetMode2Response() {
  return ResponseCommand(kGetMode2ResponseLabel,
                         [&] { return ExchangeGetMode2Response(Reader()); });
}

std::string CQuorvex2::DisplayResult(std::int16_t messageId, const std::string& lastLogon,
                                     const std::string& language) {
  const CCommandTrace trace(kDisplayResultLabel);
  const Outcome outcome = Run([&] {
    // Logged before any check, so rejected calls show up too.
    CLog::Log(LEVEL_INFO, "MessageId/LenLastLogon/LastLogon/Language: " +
                              std::to_string(messageId) + "/" + std::to_string(lastLogon.size()) +
                              "/" + VisibleText(lastLogon) + "/" + VisibleText(language));
    // A negative number reads as one above 255 and fails the range check.
    const auto number = static_cast<std::uint16_t>(messageId);
    const Bytes request = BuildDisplayResultRequest(PluginRevision(), number, lastLogon, language);
    Reader().Execute(contract::ControlIndex::DisplayResult, request);
  });
  return BuildResultText(outcome.status, {});
}

void CQuorvex2::Cancel() {
  try {
    const CCommandTrace trace(kCancelLabel);
    Reader().Cancel();
  } catch (...) {
    // Cancel never fails its caller; a CError has logged itself.
  }
}

}  // namespace qvx::brixon
