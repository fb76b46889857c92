// CQuorvex2: the command object of the service's library. One object per
// request; every command returns a result text and never raises.
#pragma once

#include <cstdint>
#include <string>

#include "command/Log.h"
#include "command/Reader.h"
#include "command/Results.h"
#include "platform/SCard.h"

namespace qvx {

class CQuorvex2 {
 public:
  explicit CQuorvex2(platform::ISCard& scard = platform::SystemSCard());
  ~CQuorvex2();
  CQuorvex2(const CQuorvex2&) = delete;
  CQuorvex2& operator=(const CQuorvex2&) = delete;

  // Keys Device_Version, Driver_Version, BRIXON_Version.
  std::string CheckConnection();
  // Keys CardId_PAN, CardId_PSN.
  std::string CheckCard(const std::string& language);
  // Key Response for the three signing commands.
  std::string GetResponse(const std::string& signData, const std::string& language);
  std::string GetMode1Response(const std::string& challenge, const std::string& currency,
                               const std::string& amount);
  std::string GetMode2Response();
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

  // The boundary of the three commands whose one value is Response.
  template <typename Exchange>
  std::string ResponseCommand(const char* label, Exchange&& exchange);

  CLog m_log;
  CReader m_reader;
};

}  // namespace qvx
