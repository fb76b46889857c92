// Input checks, request encoders and answer parsers of the seven commands.
// One implementation serves every revision: each failure is raised through
// the revision, which words it and picks the raised type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "command/Revision.h"

namespace qvx {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMaxSignDataText = 51200;  // the device's 25 KB limit
constexpr std::size_t kMaxChallengeDigits = 8;
constexpr std::size_t kCurrencyDigits = 4;
constexpr std::size_t kAmountDigits = 12;
constexpr std::size_t kLastLogonLength = 17;
constexpr std::uint16_t kLastLogonMessageId = 3;
constexpr std::uint16_t kMaxMessageId = 255;
// Only the major part (before the full stop) is compared.
constexpr const char* kSupportedVersion = "01.99";

// --- text and bytes ---
// Pairs of hexadecimal digits (either case) to bytes; decimal digits thus
// become packed BCD.
Bytes Hex2Bin(const CRevision& revision, const std::string& text);
// Two upper-case hexadecimal digits per byte, no separators.
std::string Bin2Hex(const Bytes& bytes);
std::string Bin2Hex(const std::uint8_t* bytes, std::size_t count);

// --- format checkers ---
// Empty and "00" pass; otherwise letters only (the length is checked apart).
void CheckFormatLanguage(const CRevision& revision, const std::string& language);
// The two request bytes of a language: "00" for none; raises unless two.
std::string LanguageRequestText(const CRevision& revision, const std::string& language);
// Blocks of tag (0 or 1), length, value that fill the data exactly.
void CheckFormatSignData(const CRevision& revision, const Bytes& signData);
void CheckFormatChallenge(const CRevision& revision, const std::string& challenge);
void CheckFormatCurrency(const CRevision& revision, const std::string& currency);
void CheckFormatAmount(const CRevision& revision, const std::string& amount);
// "dd Mmm yy, hh:mmX" as digits, letters and fixed separators.
void CheckFormatLastLogon(const CRevision& revision, const std::string& lastLogon);

// --- requests; each runs every check of its command, in order ---
Bytes BuildCheckCardRequest(const CRevision& revision, const std::string& language);
Bytes BuildGetResponseRequest(const CRevision& revision, const std::string& signData,
                              const std::string& language);
Bytes BuildGetMode1ResponseRequest(const CRevision& revision, const std::string& challenge,
                                   const std::string& currency, const std::string& amount);
Bytes BuildDisplayResultRequest(const CRevision& revision, std::uint16_t messageId,
                                const std::string& lastLogon, const std::string& language);

// --- answers ---
struct DeviceVersions {
  std::string device;
  std::string driver;
};
// Fills `versions` as far as the answer can be read, then raises on a
// malformed answer, so a caller still reports what was read.
void ParseDeviceAnswer(const CRevision& revision, const Bytes& answer, DeviceVersions& versions);

// True when the texts before the first full stops are equal.
bool IsMajorVersionSupported(const CRevision& revision, const std::string& supported,
                             const std::string& actual);
// The driver first: an old driver and old firmware report the driver.
void CheckVersions(const CRevision& revision, const std::string& driverVersion,
                   const std::string& deviceVersion);
// "01.99" -> "01.xx"
std::string ExpectedVersionText(const std::string& supported);

struct CardId {
  Bytes pan;
  Bytes psn;
};
CardId ParseCardAnswer(const CRevision& revision, const Bytes& answer);

// For the log: the last six digits first, then one 'X' for every other one.
std::string MaskPan(const std::string& panHex);

}  // namespace qvx
