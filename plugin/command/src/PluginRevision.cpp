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

// Only where the plug-in's older copy words a message otherwise than the
// shared table: full stops it lacks, its own method labels, the version
// failures' prefix and origin.
constexpr MessageEntry kPluginMessages[] = {
    {Msg::SignDataTooLarge, "Invalid input: Sign Data too large", "Host", ""},
    {Msg::SignDataTlv, "Invalid input: Basic TLV parse on Sign Data Block(s) failed", "User",
     "CQuorvex2::CheckFormatSignData()"},
    // The plug-in's amount checker has always been labelled this way.
    {Msg::AmountTooLong, "Invalid input: Amount contains only 12 digits.", "User",
     "CQuorvex2::CheckFormatAmout()"},
    {Msg::AmountDigits, "Invalid input: Amount contains only digits.", "User",
     "CQuorvex2::CheckFormatAmout()"},
    {Msg::LastLogonFormat, "Invalid input : LastLogon format is not correct", "User",
     "CQuorvex2::CheckFormatLastLogon()"},
    {Msg::NothingReturned, "Nothing returned by Quorvex2.", "Host", kCheckDevice},
    {Msg::NotZeroTerminated, "Output from Quorvex2 is not zero-terminated.", "Host", kCheckDevice},
    {Msg::NoDriverVersion, "Quorvex2 did not return driver version.", "Host", kCheckDevice},
    {Msg::DriverVersion,
     "IsMajorVersionSupported() failed. Driver version %s is incorrect. Expected version: %s.",
     "User", kCheckConnection},
    {Msg::DeviceVersion,
     "IsMajorVersionSupported() failed. Device version %s is incorrect. Expected version: %s.",
     "User", kCheckConnection},
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
