// The service's own JSON value model: a tree of CJsonValue nodes over 16-bit
// code units, the parser that builds one from request bytes and the renderer
// that turns a value back into text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvx::json {

// Text is kept as 16-bit code units; request bytes widen one byte to one unit.
using WideString = std::u16string;

enum JsonType : std::int32_t {
  JsonNull = 0,
  JsonString = 1,
  JsonBool = 2,
  JsonNumber = 3,
  JsonArray = 4,
  JsonObject = 5,
};

// Deepest nesting of arrays and objects the parser accepts: a top-level
// array or object is level 1, so [[1]] is level 2. Anything deeper fails the
// parse; real requests nest two levels, and the limit keeps the recursive
// descent (and the recursive release and render of a parsed tree) far away
// from the stack's end whatever the message size.
inline constexpr std::size_t kMaxNestingDepth = 64;

class CJsonValue {
 public:
  using Array = std::vector<std::unique_ptr<CJsonValue>>;
  // std::less on u16string orders code unit by code unit, shorter key first.
  using Object = std::map<WideString, std::unique_ptr<CJsonValue>>;

  CJsonValue() noexcept = default;  // JsonNull
  explicit CJsonValue(WideString string);
  explicit CJsonValue(const char16_t* string);  // keeps literals off the bool constructor
  explicit CJsonValue(bool value) noexcept;
  explicit CJsonValue(double number) noexcept;
  explicit CJsonValue(Array elements);
  explicit CJsonValue(Object members);

  // A value owns its subtree; moving it hands the subtree over, copying is
  // not offered so no two values ever share a child.
  CJsonValue(const CJsonValue&) = delete;
  CJsonValue& operator=(const CJsonValue&) = delete;
  CJsonValue(CJsonValue&&) noexcept = default;
  CJsonValue& operator=(CJsonValue&&) noexcept = default;
  ~CJsonValue() = default;

  JsonType Type() const noexcept { return m_type; }

  // Meaningful for the matching type only; for other types they give the
  // empty string, false, 0 and empty containers.
  const WideString& String() const noexcept { return m_string; }
  bool Bool() const noexcept { return m_bool; }
  double Number() const noexcept { return m_number; }
  const Array& Elements() const noexcept { return m_array; }
  const Object& Members() const noexcept { return m_object; }

  // Array access: Size() is the element count (0 for a non-array);
  // At() throws std::out_of_range past the end.
  std::size_t Size() const noexcept { return m_array.size(); }
  const CJsonValue& At(std::size_t index) const;

  // Object member lookup by exact, case-sensitive key.
  bool HasMember(const WideString& key) const;
  const CJsonValue* Find(const WideString& key) const;    // nullptr when absent
  const CJsonValue& Member(const WideString& key) const;  // throws std::out_of_range when absent

 private:
  JsonType m_type = JsonNull;
  WideString m_string;
  bool m_bool = false;
  double m_number = 0.0;
  Array m_array;
  Object m_object;
};

// Parses the bytes up to the first zero byte (each byte one code unit).
// Returns nullptr on any failure: empty or blank text, a syntax error, text
// after the value, nesting deeper than kMaxNestingDepth, or no memory left
// to build the tree. Never throws.
std::unique_ptr<CJsonValue> ParseJson(std::string_view text) noexcept;

// JSON-like text of a value; strings and keys are written escaped but
// without surrounding quotes.
WideString Render(const CJsonValue& value);

// Escaped text of a string, without quotes: \" \/ \\ \b \t \n \f \r and
// \uXXXX (upper-case hex) for the other units below 32.
WideString RenderString(const WideString& string);

// One byte to one code unit of the same value, and back keeping the low 8 bits.
WideString Widen(std::string_view bytes);
std::string Narrow(const WideString& text);

}  // namespace qvx::json
