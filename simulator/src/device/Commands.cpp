// The device commands: checks, state changes and answers.
#include <cctype>
#include <cstdio>

#include "device/ErrorBytes.h"
#include "device/Firmware.h"
#include "device/ModeBlock.h"
#include "device/Responses.h"

namespace qvx::sim {
namespace {

constexpr std::uint8_t kElementRaw = 0x00;
constexpr std::uint8_t kElementText = 0x01;
constexpr std::size_t kTextElementLength = 68;  // four lines of 17
constexpr std::size_t kLastLogonLength = 17;

// Characters the display can show.
bool Displayable(std::uint8_t c) {
  return c >= 0x20 && !(c >= 0x80 && c <= 0x8F) && !(c >= 0x92 && c <= 0xA0) && c != 0xAD;
}

std::string Digits(const std::uint8_t* bytes, std::size_t size) {
  std::string text;
  char pair[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(bytes[i]));
    text += pair;
  }
  return text;
}

std::string CurrencyName(const std::array<std::uint8_t, 2>& code) {
  const std::string digits = Digits(code.data(), code.size());
  if (digits == "0978") return "EUR";
  if (digits == "0840") return "USD";
  if (digits == "0826") return "GBP";
  if (digits == "0756") return "CHF";
  return digits;
}

// 000000012345 -> 123.45
std::string AmountText(const std::array<std::uint8_t, 6>& amount) {
  const std::string digits = Digits(amount.data(), amount.size());
  std::string whole = digits.substr(0, 10);
  const std::size_t first = whole.find_first_not_of('0');
  whole = first == std::string::npos ? "0" : whole.substr(first);
  return whole + "." + digits.substr(10);
}

std::vector<std::string> Mode1Screen(const Mode1Input& input, Language language) {
  std::vector<std::string> screen{std::string(Lookup(Text::Code, language)) + " " +
                                  Digits(input.challenge.data(), input.challenge.size())};
  if (input.amount && input.currency)
    screen.push_back(CurrencyName(*input.currency) + " " + AmountText(*input.amount));
  return screen;
}

}  // namespace

std::optional<Firmware::Reply> Firmware::Dispatch(std::uint8_t command, const Bytes& data,
                                                  DeviceTime now) {
  switch (command) {
    case command::kOpenCard:
      return OpenCard(data);
    case command::kVersion:
      return ReportVersion(data);
    case command::kCardNumbers:
      return ReportCardNumbers(data);
    case command::kStartSigning:
      return StartSigning(data);
    case command::kElement:
      return AddElement(data);
    case command::kSign:
      return Sign(data, now);
    case command::kMode:
      return Mode(data, now);
    case command::kShowResult:
      return ShowResult(data);
    default:
      return Error(error::kNotAllowed);
  }
}

std::optional<std::uint8_t> Firmware::CheckCard() const {
  if (!m_cardInserted) return error::kNoCard;
  return std::nullopt;
}

Firmware::Reply Firmware::OpenCard(const Bytes& data) {
  m_op = Op::None;
  if (data.size() != 2) return Error(error::kInputNotValid);
  if (auto failure = CheckCard()) return Error(*failure);
  if (m_card.unsupported) return Error(error::kDfNameNotFound);
  if (m_card.blocked) return Error(error::kCardBlocked);
  // A language code sets the prompts' language; the mode paths send 00 00.
  if (std::isalpha(data[0]) && std::isalpha(data[1]))
    m_language = LanguageFromCode(data[0], data[1]);
  m_op = Op::CardOpened;
  return Reply{rc::kOpened, {0x01}};
}

Firmware::Reply Firmware::ReportVersion(const Bytes& data) {
  m_op = Op::None;
  if (!data.empty()) return Error(error::kInputNotValid);
  Bytes text(m_version.begin(), m_version.end());
  text.push_back(0x00);
  return Reply{rc::kVersion, text};
}

Firmware::Reply Firmware::ReportCardNumbers(const Bytes& data) {
  if (!data.empty()) return Error(error::kInputNotValid);
  if (auto failure = CheckCard()) return Error(*failure);
  if (m_op != Op::CardOpened) return Error(error::kNotAllowed);
  m_op = Op::None;
  Bytes answer{static_cast<std::uint8_t>(m_card.pan.size())};
  answer.insert(answer.end(), m_card.pan.begin(), m_card.pan.end());
  answer.push_back(static_cast<std::uint8_t>(m_card.psn.size()));
  answer.insert(answer.end(), m_card.psn.begin(), m_card.psn.end());
  return Reply{rc::kCardNumbers, answer};
}

Firmware::Reply Firmware::StartSigning(const Bytes& data) {
  if (!data.empty()) return Error(error::kInputNotValid);
  if (auto failure = CheckCard()) return Error(*failure);
  if (m_op != Op::CardOpened) return Error(error::kNotAllowed);
  m_op = Op::Signing;
  m_elements.clear();
  m_lastPage.clear();
  return Reply{rc::kDone, {}};
}

Firmware::Reply Firmware::AddElement(const Bytes& data) {
  if (auto failure = CheckCard()) return Error(*failure);
  if (m_op != Op::Signing) return Error(error::kNotAllowed);
  if (data.size() < 2 || data.size() != 2u + data[1]) return Error(error::kTlvParseFail);
  const std::uint8_t type = data[0];
  if (type != kElementRaw && type != kElementText) return Error(error::kTlvParseFail);
  if (type == kElementText) {
    if (data.size() - 2 != kTextElementLength) return Error(error::kInputNotValid);
    for (std::size_t i = 2; i < data.size(); ++i)
      if (!Displayable(data[i])) return Error(error::kInputNotValid);
    m_lastPage.clear();
    for (std::size_t row = 0; row < 4; ++row)
      m_lastPage.push_back(
          Latin1ToUtf8(data.data() + 2 + row * Display::kColumns, Display::kColumns));
    m_display.Show(m_lastPage);
  }
  m_elements.insert(m_elements.end(), data.begin(), data.end());
  return Reply{rc::kDone, {}};
}

std::optional<Firmware::Reply> Firmware::Sign(const Bytes& data, DeviceTime now) {
  if (!data.empty()) return Error(error::kInputNotValid);
  if (auto failure = CheckCard()) return Error(*failure);
  if (m_op != Op::Signing) return Error(error::kNotAllowed);
  if (m_elements.empty()) return Error(error::kInputNotValid);
  if (m_card.pinBlocked) return Error(error::kPinBlocked);
  std::vector<std::string> screen =
      m_lastPage.empty() ? std::vector<std::string>{Lookup(Text::SignData, m_language)}
                         : m_lastPage;
  BeginWait(Wait::Kind::Sign, SignMessage(m_elements), std::move(screen), now);
  m_elements.clear();
  return std::nullopt;
}

std::optional<Firmware::Reply> Firmware::Mode(const Bytes& data, DeviceTime now) {
  if (auto failure = CheckCard()) return Error(*failure);
  if (m_op != Op::CardOpened) return Error(error::kNotAllowed);
  const ModeParse parsed = ParseModeBlock(data);
  if (!parsed.request) return Error(parsed.error);
  if (m_card.pinBlocked) return Error(error::kPinBlocked);
  if (parsed.request->mode == 1) {
    const Mode1Input& input = parsed.request->mode1;
    BeginWait(Wait::Kind::Mode1, Mode1Message(input), Mode1Screen(input, m_language), now);
  } else {
    BeginWait(Wait::Kind::Mode2, {}, {Lookup(Text::LogIn, m_language)}, now);
  }
  return std::nullopt;
}

Firmware::Reply Firmware::ShowResult(const Bytes& data) {
  m_op = Op::None;
  if (data.size() < 3) return Error(error::kInputNotValid);
  const std::uint8_t message = data[0];
  std::string lastLogon;
  if (message == 3) {
    if (data.size() != 1 + kLastLogonLength + 1 + 2 || data[1 + kLastLogonLength] != 0x00)
      return Error(error::kInputNotValid);
    lastLogon = Latin1ToUtf8(data.data() + 1, kLastLogonLength);
  } else if (data.size() != 3) {
    return Error(error::kInputNotValid);
  }
  const Language language = LanguageFromCode(data[data.size() - 2], data[data.size() - 1]);
  m_display.Show(ResultScreen(message, lastLogon, language));
  return Reply{rc::kDone, {}};
}

}  // namespace qvx::sim
