// The wording of the check failures as the service's revision has it; the
// plug-in's older copy words a few of them its own way (its own table).
#include <cstdlib>

#include "command/Revision.h"

namespace qvx {
namespace {

constexpr MessageEntry kSharedMessages[] = {
    {Msg::LanguageAlphabetic, "Invalid input : Language contains only alphabets.", "User",
     "CQuorvex2::CheckFormatLanguage()"},
    {Msg::LanguageLength, "Invalid input: Language must consist of two characters.", "Host", ""},
    {Msg::HexWrongLength, "Invalid input: Input of wrong length.", "User", "CQuorvex2::Hex2Bin()"},
    {Msg::HexInvalidData, "Invalid input: Invalid hex data.", "User", "CQuorvex2::Hex2Bin()"},
    {Msg::HexConvert, "Invalid input: Could not convert Hex to Bin.", "User",
     "CQuorvex2::Hex2Bin()"},
    {Msg::SignDataTooLarge, "Invalid input: Sign Data too large.", "Host", ""},
    {Msg::SignDataTlv, "Invalid input: Basic TLV parse on Sign Data Block(s) failed.", "User",
     "CQuorvex2::CheckFormatSignData()"},
    {Msg::ChallengeTooLong, "Invalid input: Challenge contains only 8 digits.", "User",
     "CQuorvex2::CheckFormatChallenge()"},
    {Msg::ChallengeDigits, "Invalid input: Challenge contains only digits.", "User",
     "CQuorvex2::CheckFormatChallenge()"},
    {Msg::CurrencyDigits, "Invalid input: Currency contains only digits.", "User",
     "CQuorvex2::CheckFormatCurrency()"},
    {Msg::AmountTooLong, "Invalid input: Amount contains only 12 digits.", "User",
     "CQuorvex2::CheckFormatAmount()"},
    {Msg::AmountDigits, "Invalid input: Amount contains only digits.", "User",
     "CQuorvex2::CheckFormatAmount()"},
    {Msg::CurrencyAmountPairing,
     "Invalid input: Currency and Amount must be either both present or absent.", "Host", ""},
    {Msg::CurrencyLength, "Invalid input: Currency must have length 4.", "Host", ""},
    {Msg::AmountLength, "Invalid input: Amount must have length 12.", "Host", ""},
    {Msg::MessageIdRange, "Invalid input: MessageId must be in range 0 to 255.", "Host", ""},
    {Msg::LastLogonRequired, "Invalid input: LastLogon is required with MessageId 3.", "Host", ""},
    {Msg::LastLogonLength, "Invalid input: LastLogon must have length 17.", "Host", ""},
    {Msg::LastLogonFormat, "Invalid input : LastLogon format is not correct.", "User",
     "CQuorvex2::CheckFormatLastLogon()"},
    {Msg::LastLogonNotAllowed, "Invalid input: LastLogon is only allowed with MessageId 3.", "Host",
     ""},
    {Msg::NothingReturned, "Nothing returned by Quorvex2.", "Host", "CQuorvex2::CheckConnection()"},
    {Msg::NotZeroTerminated, "Output from Quorvex2 is not zero-terminated.", "Host",
     "CQuorvex2::CheckConnection()"},
    {Msg::NoDriverVersion, "Quorvex2 did not return driver version.", "Host",
     "CQuorvex2::CheckConnection()"},
    {Msg::DriverVersion, "Driver version %s is incorrect. Expected version: %s.", "",
     "CQuorvex2::CheckVersions()"},
    {Msg::DeviceVersion, "Device version %s is incorrect. Expected version: %s.", "",
     "CQuorvex2::CheckVersions()"},
    {Msg::SupportedVersionFormat,
     "SupportedVersion is not in correct format of <major_version>.<minor_version>", "QVX/Driver",
     "CQuorvex2::IsMajorVersionSupported()"},
    {Msg::ActualVersionFormat,
     "ActualVersion is not in correct format of <major_version>.<minor_version>", "QVX/Driver",
     "CQuorvex2::IsMajorVersionSupported()"},
    {Msg::CardAnswerLength, "Output from Quorvex2 has invalid length.", "QVX", ""},
};

}  // namespace

const MessageEntry& SharedEntry(Msg id) {
  for (const MessageEntry& entry : kSharedMessages) {
    if (entry.id == id) return entry;
  }
  // The shared table lists every message; a gap is a programming error.
  std::abort();
}

}  // namespace qvx
