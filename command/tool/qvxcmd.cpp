// qvxcmd: runs one command of the device command library against the
// Quorvex2 reader and prints its result text.
#include "command/Quorvex2.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

// Usage errors stay clear of the status numbers 0 to 15 (sysexits' EX_USAGE).
constexpr int kUsageExit = 64;

using Args = std::vector<std::string>;

struct Subcommand {
  const char* name;
  const char* arguments;
  const char* description;
  std::size_t argumentCount;
  // Empty result: nothing to print (cancel).
  std::function<std::optional<std::string>(qvx::CQuorvex2&, const Args&)> run;
};

// A 16-bit unsigned decimal number, or nothing.
std::optional<std::uint16_t> ParseMessageId(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

const std::vector<Subcommand>& Subcommands() {
  static const std::vector<Subcommand> subcommands = {
      {"check-connection", "", "firmware and driver versions, checked for support", 0,
       [](qvx::CQuorvex2& q, const Args&) { return q.CheckConnection(); }},
      {"check-card", "LANG", "PAN and PSN of the inserted card", 1,
       [](qvx::CQuorvex2& q, const Args& a) { return q.CheckCard(a[0]); }},
      {"get-response", "SIGNDATA LANG", "response for sign data blocks in hexadecimal", 2,
       [](qvx::CQuorvex2& q, const Args& a) { return q.GetResponse(a[0], a[1]); }},
      {"get-mode1-response", "CHALLENGE CURRENCY AMOUNT",
       "response for a challenge, optionally with currency and amount", 3,
       [](qvx::CQuorvex2& q, const Args& a) { return q.GetMode1Response(a[0], a[1], a[2]); }},
      {"get-mode2-response", "", "response without input", 0,
       [](qvx::CQuorvex2& q, const Args&) { return q.GetMode2Response(); }},
      {"display-result", "MESSAGEID LASTLOGON LANG",
       "show message MESSAGEID (0-255); LASTLOGON only with 3", 3,
       [](qvx::CQuorvex2& q, const Args& a) -> std::optional<std::string> {
         // Checked by the caller before the device is reached.
         return q.DisplayResult(*ParseMessageId(a[0]), a[1], a[2]);
       }},
      {"cancel", "", "end another session's pending request; prints nothing", 0,
       [](qvx::CQuorvex2& q, const Args&) -> std::optional<std::string> {
         q.Cancel();
         return std::nullopt;
       }},
  };
  return subcommands;
}

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "Usage: qvxcmd COMMAND [ARGUMENTS]\n\nCommands:\n");
  for (const Subcommand& s : Subcommands()) {
    const std::string synopsis = std::string(s.name) + (*s.arguments ? " " : "") + s.arguments;
    std::fprintf(out, "  %-44s %s\n", synopsis.c_str(), s.description);
  }
  std::fprintf(out,
               "\nLANG is two letters or \"\"; pass any empty argument as \"\".\n"
               "The result text goes to standard output.\n"
               "Exit status: the command's status number (0 for success, 1 to 15 as in the\n"
               "result text); %d for a usage error. cancel always exits 0.\n",
               kUsageExit);
}

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "qvxcmd: %s\n\n", problem.c_str());
  PrintUsage(stderr);
  return kUsageExit;
}

// The number after "Status=" on the first line.
int StatusOf(const std::string& result) {
  constexpr const char* kKey = "Status=";
  if (result.rfind(kKey, 0) != 0) return 1;
  try {
    return std::stoi(result.substr(std::char_traits<char>::length(kKey)));
  } catch (const std::exception&) {
    return 1;
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  const Args args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("no command given");
  if (args[0] == "--help" || args[0] == "-h") {
    PrintUsage(stdout);
    return 0;
  }

  const Subcommand* subcommand = nullptr;
  for (const Subcommand& s : Subcommands()) {
    if (args[0] == s.name) subcommand = &s;
  }
  if (subcommand == nullptr) return UsageError("unknown command \"" + args[0] + "\"");

  const Args parameters(args.begin() + 1, args.end());
  if (parameters.size() != subcommand->argumentCount) {
    return UsageError(std::string(subcommand->name) + " takes " +
                      std::to_string(subcommand->argumentCount) + " argument(s), got " +
                      std::to_string(parameters.size()));
  }
  if (args[0] == "display-result" && !ParseMessageId(parameters[0])) {
    return UsageError("MESSAGEID must be a whole number from 0 to 65535, not \"" + parameters[0] +
                      "\"");
  }

  try {
    qvx::CQuorvex2 quorvex2;
    const std::optional<std::string> result = subcommand->run(quorvex2, parameters);
    if (!result) return 0;
    std::fwrite(result->data(), 1, result->size(), stdout);
    std::fputc('\n', stdout);
    return StatusOf(*result) & 0xFF;
  } catch (const std::exception& e) {
    // The commands never raise; only setting up the object could.
    std::fprintf(stderr, "qvxcmd: %s\n", e.what());
    return 1;
  }
}
