// CQuorvex2: the command object of the service's library. One object per
// request; every command returns a result text and never raises.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "command/Log.h"
#include "command/Reader.h"
#include "command/Results.h"
#include "command/SigningCommands.h"
#include "platform/SCard.h"

namespace qvx {

class CQuorvex2 : public CSigningCommands<CQuorvex2> {
 public:
  explicit CQuorvex2(platform::ISCard& scard = platform::SystemSCard());
  ~CQuorvex2();
  CQuorvex2(const CQuorvex2&) = delete;
  CQuorvex2& operator=(const CQuorvex2&) = delete;

  // Keys Device_Version, Driver_Version, BRIXON_Version.
  std::string CheckConnection();
  // Keys CardId_PAN, CardId_PSN.
  std::string CheckCard(const std::string& language);
  // GetResponse, GetMode1Response, GetMode2Response: CSigningCommands.
  // Status and StatusDescription only.
  std::string DisplayResult(std::uint16_t messageId, const std::string& lastLogon,
                            const std::string& language);
  // Forces another session's pending request off the reader; a failure is
  // only logged.
  void Cancel();

  CLog& Log() { return m_log; }

 private:
  // The protected region of the command boundary; a report is logged.
  template <typename Steps>
  CommandOutcome Run(Steps&& steps);

  friend class CSigningCommands<CQuorvex2>;
  // The boundary of the three commands whose one value is Response.
  std::string ResponseCommand(const char* label, const std::function<Bytes()>& exchange);
  IDeviceChannel& SigningChannel() { return m_reader; }
  static const CRevision& SigningRevision();

  CLog m_log;
  CReader m_reader;
};

}  // namespace qvx
