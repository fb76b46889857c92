// Input checks and answer parsers shared by every revision of the commands.
#include "command/Checks.h"

#include <algorithm>

namespace qvx {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool AllDigits(const std::string& text) { return std::all_of(text.begin(), text.end(), IsDigit); }

// -1 for a character that is no hexadecimal digit.
int NibbleValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void Append(Bytes& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}
void Append(Bytes& bytes, const Bytes& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
}

}  // namespace

Bytes Hex2Bin(const CRevision& revision, const std::string& text) {
  if (text.size() % 2 != 0) revision.Raise(Msg::HexWrongLength);
  if (!std::all_of(text.begin(), text.end(), [](char c) { return NibbleValue(c) >= 0; })) {
    revision.Raise(Msg::HexInvalidData);
  }
  Bytes bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = NibbleValue(text[i]);
    const int low = NibbleValue(text[i + 1]);
    if (high < 0 || low < 0) revision.Raise(Msg::HexConvert);
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::string Bin2Hex(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::string Bin2Hex(const Bytes& bytes) { return Bin2Hex(bytes.data(), bytes.size()); }

void CheckFormatLanguage(const CRevision& revision, const std::string& language) {
  if (language.empty() || language == "00") return;
  if (!std::all_of(language.begin(), language.end(), IsLetter)) {
    revision.Raise(Msg::LanguageAlphabetic);
  }
}

std::string LanguageRequestText(const CRevision& revision, const std::string& language) {
  const std::string text = language.empty() ? std::string("00") : language;
  if (text.size() != 2) revision.Raise(Msg::LanguageLength);
  return text;
}

void CheckFormatSignData(const CRevision& revision, const Bytes& signData) {
  const std::size_t size = signData.size();
  std::size_t offset = 0;
  // Each block needs its tag and length byte; a data end inside a value or a
  // lone trailing byte is malformed.
  while (offset + 2 <= size) {
    if (signData[offset] != 0x00 && signData[offset] != 0x01) break;
    offset += 2 + std::size_t{signData[offset + 1]};
    if (offset == size) return;
  }
  revision.Raise(Msg::SignDataTlv);
}

void CheckFormatChallenge(const CRevision& revision, const std::string& challenge) {
  if (challenge.size() > kMaxChallengeDigits) revision.Raise(Msg::ChallengeTooLong);
  if (!AllDigits(challenge)) revision.Raise(Msg::ChallengeDigits);
}

void CheckFormatCurrency(const CRevision& revision, const std::string& currency) {
  if (!AllDigits(currency)) revision.Raise(Msg::CurrencyDigits);
}

void CheckFormatAmount(const CRevision& revision, const std::string& amount) {
  if (amount.size() > kAmountDigits) revision.Raise(Msg::AmountTooLong);
  if (!AllDigits(amount)) revision.Raise(Msg::AmountDigits);
}

void CheckFormatLastLogon(const CRevision& revision, const std::string& lastLogon) {
  // '9' stands for a digit, 'A' for a letter; anything else must match as is.
  static constexpr char kPattern[] = "99 AAA 99, 99:99A";
  static_assert(sizeof(kPattern) - 1 == kLastLogonLength);
  bool matches = lastLogon.size() == kLastLogonLength;
  for (std::size_t i = 0; matches && i < kLastLogonLength; ++i) {
    const char c = lastLogon[i];
    switch (kPattern[i]) {
      case '9':
        matches = IsDigit(c);
        break;
      case 'A':
        matches = IsLetter(c);
        break;
      default:
        matches = c == kPattern[i];
        break;
    }
  }
  if (!matches) revision.Raise(Msg::LastLogonFormat);
}

Bytes BuildCheckCardRequest(const CRevision& revision, const std::string& language) {
  CheckFormatLanguage(revision, language);
  Bytes request;
  Append(request, LanguageRequestText(revision, language));
  return request;
}

Bytes BuildGetResponseRequest(const CRevision& revision, const std::string& signData,
                              const std::string& language) {
  CheckFormatLanguage(revision, language);
  if (signData.size() > kMaxSignDataText) revision.Raise(Msg::SignDataTooLarge);
  Bytes request = Hex2Bin(revision, signData);
  CheckFormatSignData(revision, request);
  Append(request, LanguageRequestText(revision, language));
  return request;
}

Bytes BuildGetMode1ResponseRequest(const CRevision& revision, const std::string& challenge,
                                   const std::string& currency, const std::string& amount) {
  CheckFormatChallenge(revision, challenge);
  CheckFormatCurrency(revision, currency);
  CheckFormatAmount(revision, amount);
  if (currency.empty() != amount.empty()) revision.Raise(Msg::CurrencyAmountPairing);
  if (!currency.empty() && currency.size() != kCurrencyDigits) {
    revision.Raise(Msg::CurrencyLength);
  }
  if (!amount.empty() && amount.size() != kAmountDigits) revision.Raise(Msg::AmountLength);

  const Bytes challengeBytes = Hex2Bin(revision, challenge);
  const Bytes currencyBytes = Hex2Bin(revision, currency);
  const Bytes amountBytes = Hex2Bin(revision, amount);

  Bytes request;
  request.push_back(static_cast<std::uint8_t>(challengeBytes.size()));
  Append(request, challengeBytes);
  if (!currency.empty()) {
    Append(request, currencyBytes);
    Append(request, amountBytes);
  }
  return request;
}

Bytes BuildDisplayResultRequest(const CRevision& revision, std::uint16_t messageId,
                                const std::string& lastLogon, const std::string& language) {
  CheckFormatLanguage(revision, language);
  if (messageId > kMaxMessageId) revision.Raise(Msg::MessageIdRange);

  Bytes request;
  request.push_back(static_cast<std::uint8_t>(messageId));
  if (messageId == kLastLogonMessageId) {
    if (lastLogon.empty()) revision.Raise(Msg::LastLogonRequired);
    if (lastLogon.size() != kLastLogonLength) revision.Raise(Msg::LastLogonLength);
    CheckFormatLastLogon(revision, lastLogon);
    Append(request, lastLogon);
    request.push_back(0x00);
  } else if (!lastLogon.empty()) {
    revision.Raise(Msg::LastLogonNotAllowed);
  }
  Append(request, LanguageRequestText(revision, language));
  return request;
}

void ParseDeviceAnswer(const CRevision& revision, const Bytes& answer, DeviceVersions& versions) {
  if (answer.empty()) revision.Raise(Msg::NothingReturned);
  if (answer.back() != 0x00) revision.Raise(Msg::NotZeroTerminated);

  const auto firstZero = std::find(answer.begin(), answer.end(), std::uint8_t{0});
  versions.device.assign(answer.begin(), firstZero);
  if (firstZero + 1 == answer.end()) revision.Raise(Msg::NoDriverVersion);

  auto driverBegin = firstZero + 1;
  if (*driverBegin == ' ') ++driverBegin;
  // The answer ends in a zero byte, so the search always finds one.
  const auto driverEnd = std::find(driverBegin, answer.end(), std::uint8_t{0});
  versions.driver.assign(driverBegin, driverEnd);
}

bool IsMajorVersionSupported(const CRevision& revision, const std::string& supported,
                             const std::string& actual) {
  const std::size_t supportedDot = supported.find('.');
  if (supportedDot == std::string::npos) revision.Raise(Msg::SupportedVersionFormat);
  const std::size_t actualDot = actual.find('.');
  if (actualDot == std::string::npos) revision.Raise(Msg::ActualVersionFormat);
  return supported.compare(0, supportedDot, actual, 0, actualDot) == 0;
}

std::string ExpectedVersionText(const std::string& supported) {
  const std::size_t dot = supported.find('.');
  if (dot == std::string::npos) return supported;
  std::string text = supported.substr(0, dot + 1) + "xx";
  if (supported.size() > dot + 3) text += supported.substr(dot + 3);
  return text;
}

void CheckVersions(const CRevision& revision, const std::string& driverVersion,
                   const std::string& deviceVersion) {
  const std::string expected = ExpectedVersionText(kSupportedVersion);
  if (!IsMajorVersionSupported(revision, kSupportedVersion, driverVersion)) {
    revision.Raise(Msg::DriverVersion, {driverVersion, expected});
  }
  if (!IsMajorVersionSupported(revision, kSupportedVersion, deviceVersion)) {
    revision.Raise(Msg::DeviceVersion, {deviceVersion, expected});
  }
}

CardId ParseCardAnswer(const CRevision& revision, const Bytes& answer) {
  const std::size_t size = answer.size();
  if (size < 2) revision.Raise(Msg::CardAnswerLength);
  const std::size_t panLength = answer[0];
  const std::size_t maxPan = revision.MaxPanLength();
  if ((maxPan != 0 && panLength > maxPan) || panLength + 2 > size) {
    revision.Raise(Msg::CardAnswerLength);
  }
  const std::size_t psnLength = answer[1 + panLength];
  if (panLength + 2 + psnLength > size) revision.Raise(Msg::CardAnswerLength);

  const auto panBegin = answer.begin() + 1;
  const auto psnBegin = panBegin + static_cast<std::ptrdiff_t>(panLength) + 1;
  CardId id;
  id.pan.assign(panBegin, panBegin + static_cast<std::ptrdiff_t>(panLength));
  id.psn.assign(psnBegin, psnBegin + static_cast<std::ptrdiff_t>(psnLength));
  return id;
}

std::string MaskPan(const std::string& panHex) {
  constexpr std::size_t kShown = 6;
  if (panHex.size() <= kShown) return panHex;
  return panHex.substr(panHex.size() - kShown) + std::string(panHex.size() - kShown, 'X');
}

}  // namespace qvx
