#include "device/Texts.h"

#include <cctype>

namespace qvx::sim {
namespace {

struct Pair {
  const char* en;
  const char* nl;
};

// Indexed by Text; every entry fits one 17-column line.
constexpr Pair kTexts[] = {
    {"Insert card", "Plaats uw pas"},
    {"Card inserted", "Pas geplaatst"},
    {"Enter PIN + OK", "Geef PIN + OK"},
    {"Sign data", "Onderteken"},
    {"Log in", "Inloggen"},
    {"Code", "Code"},
    {"Confirmed", "Bevestigd"},
    {"Cancelled", "Geannuleerd"},
    {"Time-out", "Tijd verstreken"},
    {"Aborted", "Afgebroken"},
    {"Card removed", "Pas verwijderd"},
    {"Card blocked", "Pas geblokkeerd"},
    {"PIN blocked", "PIN geblokkeerd"},
    {"Card not usable", "Pas onbruikbaar"},
};
static_assert(sizeof kTexts / sizeof kTexts[0] == static_cast<std::size_t>(Text::CardUnusable) + 1,
              "one entry per Text");

// Outcome messages 0 to 9 of command 0x08.
constexpr Pair kResults[] = {
    {"Thank you", "Dank u wel"},
    {"Logged in", "Ingelogd"},
    {"Login failed", "Inloggen mislukt"},
    {"Last logon:", "Vorige login:"},
    {"Payment done", "Betaling gelukt"},
    {"Payment failed", "Betaling mislukt"},
    {"Signed", "Ondertekend"},
    {"Signing failed", "Niet ondertekend"},
    {"Try again", "Probeer opnieuw"},
    {"Session ended", "Sessie beeindigd"},
};

const char* Pick(const Pair& pair, Language language) {
  return language == Language::Nl ? pair.nl : pair.en;
}

}  // namespace

Language LanguageFromCode(std::uint8_t first, std::uint8_t second) {
  const bool dutch = std::tolower(first) == 'n' && std::tolower(second) == 'l';
  return dutch ? Language::Nl : Language::En;
}

const char* LanguageName(Language language) { return language == Language::Nl ? "nl" : "en"; }

const char* Lookup(Text text, Language language) {
  return Pick(kTexts[static_cast<std::size_t>(text)], language);
}

std::vector<std::string> ResultScreen(std::uint8_t message, const std::string& lastLogon,
                                      Language language) {
  if (message < sizeof kResults / sizeof kResults[0]) {
    std::vector<std::string> lines{Pick(kResults[message], language)};
    if (message == 3) lines.push_back(lastLogon);
    return lines;
  }
  return {std::string(language == Language::Nl ? "Bericht " : "Message ") +
          std::to_string(message)};
}

}  // namespace qvx::sim
