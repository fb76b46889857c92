// The plug-in's texts of the check failures; the checks themselves are the
// shared ones.
#include <iterator>

#include "brixon/Error.h"
#include "brixon/Log.h"
#include "brixon/Revision.h"

namespace qvx::brixon {
namespace {

constexpr const char* kCheckDevice = "CQuorvex2::CheckDevice()";
constexpr const char* kCheckConnection = "CQuorvex2::CheckConnection()";

constexpr MessageEntry kPluginMessages[] = {
    {Msg::LanguageAlphabetic, "Invalid input : Language contains only alphabets.", "User",
     "CQuorvex2::CheckFormatLanguage()"},
    {Msg::LanguageLength, "Invalid input: Language must consist of two characters.", "Host", ""},
    {Msg::HexWrongLength, "Invalid input: Input of wrong length.", "User", "CQuorvex2::Hex2Bin()"},
    {Msg::HexInvalidData, "Invalid input: Invalid hex data.", "User", "CQuorvex2::Hex2Bin()"},
    {Msg::HexConvert, "Invalid input: Could not convert Hex to Bin.", "User",
     "CQuorvex2::Hex2Bin()"},
    {Msg::SignDataTooLarge, "Invalid input: Sign Data too large", "Host", ""},
    {Msg::SignDataTlv, "Invalid input: Basic TLV parse on Sign Data Block(s) failed", "User",
     "CQuorvex2::CheckFormatSignData()"},
    {Msg::ChallengeTooLong, "Invalid input: Challenge contains only 8 digits.", "User",
     "CQuorvex2::CheckFormatChallenge()"},
    {Msg::ChallengeDigits, "Invalid input: Challenge contains only digits.", "User",
     "CQuorvex2::CheckFormatChallenge()"},
    {Msg::CurrencyDigits, "Invalid input: Currency contains only digits.", "User",
     "CQuorvex2::CheckFormatCurrency()"},
    // The plug-in's amount checker has always been labelled this way.
    {Msg::AmountTooLong, "Invalid input: Amount contains only 12 digits.", "User",
     "CQuorvex2::CheckFormatAmout()"},
    {Msg::AmountDigits, "Invalid input: Amount contains only digits.", "User",
     "CQuorvex2::CheckFormatAmout()"},
    {Msg::CurrencyAmountPairing,
     "Invalid input: Currency and Amount must be either both present or absent.", "Host", ""},
    {Msg::CurrencyLength, "Invalid input: Currency must have length 4.", "Host", ""},
    {Msg::AmountLength, "Invalid input: Amount must have length 12.", "Host", ""},
    {Msg::MessageIdRange, "Invalid input: MessageId must be in range 0 to 255.", "Host", ""},
    {Msg::LastLogonRequired, "Invalid input: LastLogon is required with MessageId 3.", "Host", ""},
    {Msg::LastLogonLength, "Invalid input: LastLogon must have length 17.", "Host", ""},
    {Msg::LastLogonFormat, "Invalid input : LastLogon format is not correct", "User",
     "CQuorvex2::CheckFormatLastLogon()"},
    {Msg::LastLogonNotAllowed, "Invalid input: LastLogon is only allowed with MessageId 3.", "Host",
     ""},
    {Msg::NothingReturned, "Nothing returned by Quorvex2.", "Host", kCheckDevice},
    {Msg::NotZeroTerminated, "Output from Quorvex2 is not zero-terminated.", "Host", kCheckDevice},
    {Msg::NoDriverVersion, "Quorvex2 did not return driver version.", "Host", kCheckDevice},
    {Msg::DriverVersion,
     "IsMajorVersionSupported() failed. Driver version %s is incorrect. Expected version: %s.",
     "User", kCheckConnection},
    {Msg::DeviceVersion,
     "IsMajorVersionSupported() failed. Device version %s is incorrect. Expected version: %s.",
     "User", kCheckConnection},
    {Msg::SupportedVersionFormat,
     "SupportedVersion is not in correct format of <major_version>.<minor_version>", "QVX/Driver",
     "CQuorvex2::IsMajorVersionSupported()"},
    {Msg::ActualVersionFormat,
     "ActualVersion is not in correct format of <major_version>.<minor_version>", "QVX/Driver",
     "CQuorvex2::IsMajorVersionSupported()"},
    {Msg::CardAnswerLength, "Output from Quorvex2 has invalid length.", "QVX", ""},
};

class CPluginRevision final : public CRevision {
 public:
  const char* Version() const override { return kPluginVersion; }
  // The plug-in's copy takes any PAN length its answer can hold.
  std::size_t MaxPanLength() const override { return 0; }
  const MessageEntry& Entry(Msg id) const override {
    return FindEntry(kPluginMessages, std::size(kPluginMessages), id);
  }

 protected:
  void Throw(Msg, Status status, const MessageEntry& entry,
             const std::string& text) const override {
    const std::uint32_t code = status == kStatusInputError ? kInputErrorCode : 0;
    throw CError(entry.source, text, code, LEVEL_ERROR, status, entry.origin);
  }
};

}  // namespace

const CRevision& PluginRevision() {
  static const CPluginRevision revision;
  return revision;
}

}  // namespace qvx::brixon
