// The seam between the shared command checks and one revision of the
// library. The checks, request builders and answer parsers exist once; a
// revision supplies what differs between the service's library and the
// plug-in's older copy: message texts, origins, source labels, the raised
// type and a few limits.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "command/Status.h"

namespace qvx {

// Every failure the shared checks can raise.
enum class Msg {
  // language
  LanguageAlphabetic,
  LanguageLength,
  // hexadecimal text
  HexWrongLength,
  HexInvalidData,
  HexConvert,
  // sign data
  SignDataTooLarge,
  SignDataTlv,
  // challenge, currency, amount
  ChallengeTooLong,
  ChallengeDigits,
  CurrencyDigits,
  AmountTooLong,
  AmountDigits,
  CurrencyAmountPairing,
  CurrencyLength,
  AmountLength,
  // display result
  MessageIdRange,
  LastLogonRequired,
  LastLogonLength,
  LastLogonFormat,
  LastLogonNotAllowed,
  // device answer of CheckDevice
  NothingReturned,
  NotZeroTerminated,
  NoDriverVersion,
  // version check; texts take the version and the expected version
  DriverVersion,
  DeviceVersion,
  SupportedVersionFormat,
  ActualVersionFormat,
  // device answer of CheckCard
  CardAnswerLength,
};

// The status a message ends a command with; the same in every revision.
Status MessageStatus(Msg id);

// How one revision words a message. The text may hold "%s" placeholders,
// filled in order from the raise arguments.
struct MessageEntry {
  Msg id;
  const char* text;
  const char* origin;  // "Host", "User", "QVX", ...; empty for none
  const char* source;  // the label of the raising method; may be empty
};

class CRevision {
 public:
  virtual ~CRevision() = default;

  // "02.20" for the service, "01.06" for the plug-in.
  virtual const char* Version() const = 0;
  // Largest PAN field a CheckCard answer may announce; 0 for no limit.
  virtual std::size_t MaxPanLength() const = 0;
  virtual const MessageEntry& Entry(Msg id) const = 0;

  // Raises the revision's failure for the message; never returns.
  [[noreturn]] void Raise(Msg id, const std::vector<std::string>& args = {}) const;

 protected:
  // Must throw. Raise() terminates if an implementation returns.
  virtual void Throw(Msg id, Status status, const MessageEntry& entry,
                     const std::string& text) const = 0;
};

// The entry's text with its "%s" placeholders filled from args.
std::string FillText(const char* text, const std::vector<std::string>& args);

// The wording both revisions start from: every message, as the service's
// revision words it.
const MessageEntry& SharedEntry(Msg id);
// The message in a revision's own table, else the shared wording.
const MessageEntry& FindEntry(const MessageEntry* table, std::size_t count, Msg id);

// The service's revision: raises CReport with message "text, origin".
const CRevision& ServiceRevision();

}  // namespace qvx
