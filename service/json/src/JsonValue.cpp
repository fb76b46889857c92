#include "json/JsonValue.h"

#include <stdexcept>
#include <utility>

namespace qvx::json {

CJsonValue::CJsonValue(WideString string) : m_type(JsonString), m_string(std::move(string)) {}

CJsonValue::CJsonValue(const char16_t* string) : CJsonValue(WideString(string)) {}

CJsonValue::CJsonValue(bool value) noexcept : m_type(JsonBool), m_bool(value) {}

CJsonValue::CJsonValue(double number) noexcept : m_type(JsonNumber), m_number(number) {}

CJsonValue::CJsonValue(Array elements) : m_type(JsonArray), m_array(std::move(elements)) {}

CJsonValue::CJsonValue(Object members) : m_type(JsonObject), m_object(std::move(members)) {}

const CJsonValue& CJsonValue::At(std::size_t index) const {
  if (index >= m_array.size() || !m_array[index]) {
    throw std::out_of_range("JSON array index out of range");
  }
  return *m_array[index];
}

bool CJsonValue::HasMember(const WideString& key) const { return Find(key) != nullptr; }

const CJsonValue* CJsonValue::Find(const WideString& key) const {
  const auto it = m_object.find(key);
  return it == m_object.end() ? nullptr : it->second.get();
}

const CJsonValue& CJsonValue::Member(const WideString& key) const {
  const CJsonValue* value = Find(key);
  if (value == nullptr) {
    throw std::out_of_range("JSON object has no such member");
  }
  return *value;
}

}  // namespace qvx::json
