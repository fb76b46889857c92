// The display texts in the device's two languages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvx::sim {

enum class Language { En, Nl };

// "nl" in either case is Dutch; everything else, "00" included, is English.
Language LanguageFromCode(std::uint8_t first, std::uint8_t second);
const char* LanguageName(Language language);

enum class Text {
  InsertCard,
  CardInserted,
  EnterPin,
  SignData,
  LogIn,
  Code,
  Confirmed,
  Cancelled,
  TimedOut,
  Aborted,
  CardRemoved,
  CardBlocked,
  PinBlocked,
  CardUnusable,
};

const char* Lookup(Text text, Language language);

// The outcome screen of command 0x08; lastLogon is shown under message 3.
std::vector<std::string> ResultScreen(std::uint8_t message, const std::string& lastLogon,
                                      Language language);

}  // namespace qvx::sim
