// The seven commands of the service's library and their common boundary:
// trace guard, one protected region, status from a caught report, result
// text with every key.
#include "command/Quorvex2.h"

#include <utility>

#include "command/Exchanges.h"
#include "command/VisibleText.h"

namespace qvx {

CQuorvex2::CQuorvex2(platform::ISCard& scard) : m_reader(scard, m_log) {
  m_reader.EstablishContext();
}

CQuorvex2::~CQuorvex2() {
  m_reader.Close(true);
  m_reader.ReleaseContext();
}

template <typename Steps>
CommandOutcome CQuorvex2::Run(Steps&& steps) {
  return RunCommand<CReport>(std::forward<Steps>(steps),
                             [&](const CReport& report) { m_log.Append(report); });
}

std::string CQuorvex2::CheckConnection() {
  CTraceGuard guard(m_log, kCheckConnectionLabel);
  const CRevision& revision = ServiceRevision();
  DeviceVersions versions;
  // The versions stay as far as they were read, also on failure.
  const CommandOutcome outcome = Run([&] {
    ExchangeCheckDevice(m_reader, revision, versions);
    CheckVersions(revision, versions.driver, versions.device);
  });
  m_log.Append(CReport(kStatusSuccess, LEVEL_INFO, "",
                       "LenDeviceVersion/LenDriverVersion/DeviceVersion/DriverVersion: %d/%d/%s/%s",
                       static_cast<int>(versions.device.size()),
                       static_cast<int>(versions.driver.size()), versions.device.c_str(),
                       versions.driver.c_str()));
  return ConnectionResultText(outcome.status, versions, revision.Version());
}

std::string CQuorvex2::CheckCard(const std::string& language) {
  CTraceGuard guard(m_log, kCheckCardLabel);
  std::string pan;
  std::string psn;
  const CommandOutcome outcome = Run([&] {
    const CardId card = ExchangeCheckCard(m_reader, ServiceRevision(), language);
    pan = Bin2Hex(card.pan);
    psn = Bin2Hex(card.psn);
    m_log.Append(CReport(kStatusSuccess, LEVEL_INFO, "",
                         "PAN: Len/CardId = %d/0x%s  PSN: Len/CardId = %d/0x%s",
                         static_cast<int>(card.pan.size()), MaskPan(pan).c_str(),
                         static_cast<int>(card.psn.size()), psn.c_str()));
  });
  return CardResultText(outcome, pan, psn);
}

std::string CQuorvex2::ResponseCommand(const char* label, const std::function<Bytes()>& exchange) {
  CTraceGuard guard(m_log, label);
  Bytes response;
  const CommandOutcome outcome = Run([&] { response = exchange(); });
  return ResponseResultText(outcome, response);
}

const CRevision& CQuorvex2::SigningRevision() { return ServiceRevision(); }

std::string CQuorvex2::DisplayResult(std::uint16_t messageId, const std::string& lastLogon,
                                     const std::string& language) {
  CTraceGuard guard(m_log, kDisplayResultLabel);
  const CommandOutcome outcome = Run([&] {
    // Logged before any check, so rejected calls show up too.
    m_log.Append(CReport(
        kStatusSuccess, LEVEL_INFO, "", "MessageId/LenLastLogon/LastLogon/Language: %d/%d/%s/%s",
        static_cast<int>(static_cast<std::int16_t>(messageId)), static_cast<int>(lastLogon.size()),
        VisibleText(lastLogon).c_str(), VisibleText(language).c_str()));
    ExchangeDisplayResult(m_reader, ServiceRevision(), messageId, lastLogon, language);
  });
  return BuildResultText(outcome.status, {});
}

void CQuorvex2::Cancel() {
  try {
    m_reader.Open();
    m_reader.Close(false);
  } catch (const CReport& report) {
    m_log.Append(report);
  } catch (...) {
    // Cancel never fails its caller.
  }
}

}  // namespace qvx
