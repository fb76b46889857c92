#include "protocol/DispatchCommand.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace qvx::protocol {
namespace {

using Texts = std::vector<std::string>;

struct CommandRow {
  std::int32_t number;
  std::size_t paramCount;
  std::string (*run)(CQuorvex2& command, const Texts& params);
};

const CommandRow kCommandTable[] = {
    {1, 0, [](CQuorvex2& q, const Texts&) { return q.CheckConnection(); }},
    {2, 1, [](CQuorvex2& q, const Texts& p) { return q.CheckCard(p[0]); }},
    {3, 2, [](CQuorvex2& q, const Texts& p) { return q.GetResponse(p[0], p[1]); }},
    {4, 3, [](CQuorvex2& q, const Texts& p) { return q.GetMode1Response(p[0], p[1], p[2]); }},
    {5, 0, [](CQuorvex2& q, const Texts&) { return q.GetMode2Response(); }},
    {6, 3,
     [](CQuorvex2& q, const Texts& p) { return q.DisplayResult(MessageNumber(p[0]), p[1], p[2]); }},
    // The page only learns that the cancel ran; a failure is in the log.
    {7, 0,
     [](CQuorvex2& q, const Texts&) {
       q.Cancel();
       return std::string();
     }},
};

bool IsDecimalBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

CommandFactory SystemCommandFactory() {
  return [] { return std::make_unique<CQuorvex2>(); };
}

std::int32_t CommandNumber(double number) {
  constexpr std::int32_t kNoCommand = std::numeric_limits<std::int32_t>::min();
  if (!std::isfinite(number)) return kNoCommand;
  const double truncated = std::trunc(number);
  if (truncated < -2147483648.0 || truncated > 2147483647.0) return kNoCommand;
  return static_cast<std::int32_t>(truncated);
}

std::string ParameterText(const json::CJsonValue& value) {
  return json::Narrow(json::Render(value));
}

std::uint16_t MessageNumber(const std::string& text) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  std::size_t at = 0;
  while (at < text.size() && IsDecimalBlank(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  // Accumulated as a magnitude and clamped as soon as it leaves the range, so
  // a long run of digits cannot overflow.
  std::int64_t magnitude = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    if (magnitude <= kMax + 1) magnitude = magnitude * 10 + (text[at] - '0');
  }
  const std::int64_t value = negative ? std::max(-magnitude, kMin) : std::min(magnitude, kMax);
  return static_cast<std::uint16_t>(static_cast<std::uint64_t>(value) & 0xFFFFu);
}

std::string DispatchCommand(const CommandFactory& factory, std::int32_t commandNumber,
                            const json::CJsonValue::Array& params) {
  // Made before the number is looked at: an invalid request, too, opens and
  // releases its own PC/SC context, as every request does.
  const std::unique_ptr<CQuorvex2> command = factory();

  Texts texts;
  texts.reserve(params.size());
  for (const auto& param : params) texts.push_back(ParameterText(*param));

  for (const CommandRow& row : kCommandTable) {
    if (row.number != commandNumber) continue;
    if (texts.size() != row.paramCount) break;
    return row.run(*command, texts);
  }
  return kInvalidResult;
}

}  // namespace qvx::protocol
