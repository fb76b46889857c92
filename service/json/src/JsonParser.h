// Recursive-descent parser over widened request text. Internal to qvx_json;
// callers use ParseJson.
#pragma once

#include "json/JsonValue.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace qvx::json {

class CJsonParser {
 public:
  explicit CJsonParser(std::u16string_view text) noexcept : m_text(text) {}

  // One value surrounded by optional white space and nothing else.
  std::unique_ptr<CJsonValue> ParseDocument();

 private:
  bool AtEnd() const noexcept { return m_pos >= m_text.size(); }
  char16_t Current() const noexcept { return m_text[m_pos]; }
  void SkipWhiteSpace() noexcept;
  bool MatchLiteral(std::u16string_view word) noexcept;

  // depth counts the arrays and objects that enclose the value.
  std::unique_ptr<CJsonValue> ParseValue(std::size_t depth);
  std::unique_ptr<CJsonValue> ParseNumber();
  std::unique_ptr<CJsonValue> ParseArray(std::size_t depth);
  std::unique_ptr<CJsonValue> ParseObject(std::size_t depth);
  bool ParseStringBody(WideString& out);  // cursor just past the opening quote
  bool ReadDigits(double& value);         // one or more decimal digits

  std::u16string_view m_text;
  std::size_t m_pos = 0;
};

}  // namespace qvx::json
