// The seven commands of the plug-in's revision and their boundary: trace,
// one protected region, status from a caught CError (which logged itself
// when it was built), result text with every key.
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

Bytes CQuorvex2::Execute(contract::ControlIndex index, const Bytes& request) {
  return Reader().Execute(index, request);
}

template <typename Steps>
CommandOutcome CQuorvex2::Run(Steps&& steps, std::optional<CError>* error) {
  return RunCommand<CError>(std::forward<Steps>(steps), [&](const CError& caught) {
    if (error != nullptr) *error = caught;
  });
}

void CQuorvex2::CheckDevice(DeviceVersions& versions) {
  ExchangeCheckDevice(*this, PluginRevision(), versions);
}

std::string CQuorvex2::CheckConnection() {
  const CRevision& revision = PluginRevision();
  DeviceVersions versions;
  std::optional<CError> error;
  const CommandOutcome outcome = Run(
      [&] {
        CheckDevice(versions);
        CheckVersions(revision, versions.driver, versions.device);
      },
      &error);
  if (error && m_errorBox) {
    const std::string text = error->Message() + "\n\n" + error->GetText();
    MessageBox(nullptr, text.c_str(), kErrorBoxCaption, MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL);
  }
  CLog::Log(LEVEL_INFO, "LenDeviceVersion/LenDriverVersion/DeviceVersion/DriverVersion: " +
                            std::to_string(versions.device.size()) + "/" +
                            std::to_string(versions.driver.size()) + "/" + versions.device + "/" +
                            versions.driver);
  return ConnectionResultText(outcome.status, versions, revision.Version());
}

std::string CQuorvex2::CheckCard(const std::string& language) {
  const CCommandTrace trace(kCheckCardLabel);
  std::string pan;
  std::string psn;
  const CommandOutcome outcome = Run([&] {
    const CardId card = ExchangeCheckCard(*this, PluginRevision(), language);
    pan = Bin2Hex(card.pan);
    psn = Bin2Hex(card.psn);
    CLog::Log(LEVEL_INFO, "Len/CardId_PAN: " + std::to_string(card.pan.size()) + "/0x" +
                              LastDigits(pan, kShownPanDigits));
    CLog::Log(LEVEL_INFO, "Len/CardId_PSN: " + std::to_string(card.psn.size()) + "/0x" + psn);
  });
  return CardResultText(outcome, pan, psn);
}

std::string CQuorvex2::ResponseCommand(const char* label, const std::function<Bytes()>& exchange) {
  const CCommandTrace trace(label);
  Bytes response;
  const CommandOutcome outcome = Run([&] { response = exchange(); });
  return ResponseResultText(outcome, response);
}

const CRevision& CQuorvex2::SigningRevision() { return PluginRevision(); }

std::string CQuorvex2::DisplayResult(std::int16_t messageId, const std::string& lastLogon,
                                     const std::string& language) {
  const CCommandTrace trace(kDisplayResultLabel);
  const CommandOutcome outcome = Run([&] {
    // Logged before any check, so rejected calls show up too.
    CLog::Log(LEVEL_INFO, "MessageId/LenLastLogon/LastLogon/Language: " +
                              std::to_string(messageId) + "/" + std::to_string(lastLogon.size()) +
                              "/" + VisibleText(lastLogon) + "/" + VisibleText(language));
    // A negative number reads as one above 255 and fails the range check.
    ExchangeDisplayResult(*this, PluginRevision(), static_cast<std::uint16_t>(messageId), lastLogon,
                          language);
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
