#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

#include "control/ControlCommand.h"

namespace qvx::sim {
namespace {

using Kind = ControlCommand::Kind;
using Words = std::vector<std::string>;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

Words Split(const std::string& line) {
  Words words;
  std::istringstream stream(line);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

std::optional<Millis> ParseMillis(const std::string& text) {
  if (text.empty() || text.size() > 7 ||
      !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
    return std::nullopt;
  const Millis value{std::stol(text)};
  if (value > kMaxControlMillis) return std::nullopt;
  return value;
}

// Decimal 0 to 255, or 0x00 to 0xFF.
std::optional<std::uint8_t> ParseByte(const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  const auto isDigit = [hex](unsigned char c) {
    return hex ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
  };
  if (digits.empty() || digits.size() > 3 || !std::all_of(digits.begin(), digits.end(), isDigit))
    return std::nullopt;
  const unsigned long value = std::stoul(digits, nullptr, hex ? 16 : 10);
  if (value > 0xFF) return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

std::optional<Bytes> ParseHex(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  Bytes bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
      return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

ParsedControl Ok(ControlCommand command) { return ParsedControl{std::move(command), {}}; }
ParsedControl Err(std::string reason) { return ParsedControl{std::nullopt, std::move(reason)}; }

ParsedControl Plain(Kind kind, const Words& words) {
  if (words.size() != 1) return Err(words[0] + " takes no arguments");
  ControlCommand command;
  command.kind = kind;
  return Ok(command);
}

ParsedControl ParseCard(const Words& words) {
  const char* usage =
      "usage: card PAN_HEX PSN_HEX [key HEX32] [blocked] [pinblocked] [unsupported]";
  if (words.size() < 3) return Err(usage);
  ControlCommand command;
  command.kind = Kind::Card;
  command.card = DefaultCard();
  const auto pan = ParseHex(words[1]);
  const auto psn = ParseHex(words[2]);
  if (!pan || pan->empty() || pan->size() > 32) return Err("PAN must be 2 to 64 hex digits");
  if (!psn || psn->empty() || psn->size() > 16) return Err("PSN must be 2 to 32 hex digits");
  command.card.pan = *pan;
  command.card.psn = *psn;
  for (std::size_t i = 3; i < words.size(); ++i) {
    const std::string flag = Lower(words[i]);
    if (flag == "blocked") {
      command.card.blocked = true;
    } else if (flag == "pinblocked") {
      command.card.pinBlocked = true;
    } else if (flag == "unsupported") {
      command.card.unsupported = true;
    } else if (flag == "key" && i + 1 < words.size()) {
      const auto key = ParseHex(words[++i]);
      if (!key || key->size() != command.card.key.size()) return Err("key must be 32 hex digits");
      std::copy(key->begin(), key->end(), command.card.key.begin());
    } else {
      return Err(usage);
    }
  }
  return Ok(command);
}

ParsedControl ParsePress(const Words& words) {
  if (words.size() != 2) return Err("usage: press OK|CANCEL|0-9");
  ControlCommand command;
  command.kind = Kind::Press;
  const std::string key = Lower(words[1]);
  if (key == "ok") {
    command.key.kind = KeyPress::Kind::Ok;
  } else if (key == "cancel") {
    command.key.kind = KeyPress::Kind::Cancel;
  } else if (key.size() == 1 && std::isdigit(static_cast<unsigned char>(key[0]))) {
    command.key.kind = KeyPress::Kind::Digit;
    command.key.digit = key[0];
  } else {
    return Err("usage: press OK|CANCEL|0-9");
  }
  return Ok(command);
}

ParsedControl ParseCustomer(const Words& words) {
  const char* usage = "usage: customer approve [MS] | cancel [MS] | never";
  if (words.size() < 2 || words.size() > 3) return Err(usage);
  ControlCommand command;
  command.kind = Kind::Customer;
  const std::string action = Lower(words[1]);
  if (action == "never" && words.size() == 2) {
    command.customer.kind = CustomerScript::Kind::Never;
    return Ok(command);
  }
  if (action != "approve" && action != "cancel") return Err(usage);
  command.customer.kind =
      action == "approve" ? CustomerScript::Kind::Approve : CustomerScript::Kind::Cancel;
  if (words.size() == 3) {
    const auto delay = ParseMillis(words[2]);
    if (!delay) return Err("delay must be 0 to 3600000 ms");
    command.customer.delay = *delay;
  }
  return Ok(command);
}

ParsedControl ParseTimeout(const Words& words) {
  if (words.size() != 2) return Err("usage: timeout MS");
  const auto limit = ParseMillis(words[1]);
  if (!limit || limit->count() == 0) return Err("time limit must be 1 to 3600000 ms");
  ControlCommand command;
  command.kind = Kind::Timeout;
  command.timeout = *limit;
  return Ok(command);
}

ParsedControl ParseInject(const Words& words) {
  const char* usage = "usage: inject rc6 | rc8 BYTE";
  ControlCommand command;
  command.kind = Kind::Inject;
  if (words.size() == 2 && Lower(words[1]) == "rc6") {
    command.injection.kind = Injection::Kind::Rc6;
    return Ok(command);
  }
  if (words.size() == 3 && Lower(words[1]) == "rc8") {
    const auto error = ParseByte(words[2]);
    if (!error) return Err("error byte must be 0 to 255 or 0x00 to 0xFF");
    command.injection.kind = Injection::Kind::Rc8;
    command.injection.errorByte = *error;
    return Ok(command);
  }
  return Err(usage);
}

ParsedControl ParseMalformedCommand(const Words& words) {
  const char* usage = "usage: malformed [count7|count0|len257|type]";
  if (words.size() > 2) return Err(usage);
  ControlCommand command;
  command.kind = Kind::Inject;
  command.injection.kind = Injection::Kind::Malformed;
  if (words.size() == 2) {
    const auto kind = ParseMalformed(Lower(words[1]));
    if (!kind) return Err(usage);
    command.injection.malformed = *kind;
  }
  return Ok(command);
}

// "trace [clear]" and "timing [clear]".
ParsedControl ParseRecord(const Words& words, Kind show, Kind clear) {
  if (words.size() == 1) return Plain(show, words);
  if (words.size() == 2 && Lower(words[1]) == "clear") {
    ControlCommand command;
    command.kind = clear;
    return Ok(command);
  }
  return Err("usage: " + Lower(words[0]) + " [clear]");
}

ParsedControl ParseFirmware(const Words& words) {
  if (words.size() != 2) return Err("usage: firmware VERSION");
  const std::string& version = words[1];
  if (version.size() > 16 ||
      !std::all_of(version.begin(), version.end(), [](unsigned char c) { return std::isgraph(c); }))
    return Err("version must be 1 to 16 printable characters");
  ControlCommand command;
  command.kind = Kind::Firmware;
  command.version = version;
  return Ok(command);
}

}  // namespace

ParsedControl ParseControl(const std::string& line) {
  const Words words = Split(line);
  if (words.empty()) return Err("empty command");
  const std::string verb = Lower(words[0]);
  if (verb == "insert") return Plain(Kind::Insert, words);
  if (verb == "remove") return Plain(Kind::Remove, words);
  if (verb == "card") return ParseCard(words);
  if (verb == "press") return ParsePress(words);
  if (verb == "customer") return ParseCustomer(words);
  if (verb == "timeout") return ParseTimeout(words);
  if (verb == "inject") return ParseInject(words);
  if (verb == "malformed") return ParseMalformedCommand(words);
  if (verb == "unplug") return Plain(Kind::Unplug, words);
  if (verb == "plug") return Plain(Kind::Plug, words);
  if (verb == "display") return Plain(Kind::Display, words);
  if (verb == "trace") return ParseRecord(words, Kind::Trace, Kind::TraceClear);
  if (verb == "timing") return ParseRecord(words, Kind::Timing, Kind::TimingClear);
  if (verb == "state") return Plain(Kind::State, words);
  if (verb == "firmware") return ParseFirmware(words);
  if (verb == "help") return Plain(Kind::Help, words);
  return Err("unknown command '" + words[0] + "' (try help)");
}

const char* ControlHelp() {
  return "insert | remove | card PAN_HEX PSN_HEX [key HEX32] [blocked] [pinblocked] [unsupported] "
         "| "
         "press OK|CANCEL|0-9 | customer approve [MS]|cancel [MS]|never | timeout MS | inject "
         "rc6|rc8 BYTE | "
         "malformed [count7|count0|len257|type] | unplug | plug | display | trace [clear] | timing "
         "[clear] | "
         "state "
         "| "
         "firmware VERSION";
}

}  // namespace qvx::sim
