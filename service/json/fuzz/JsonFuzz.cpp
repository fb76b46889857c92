// libFuzzer entry: parse arbitrary request bytes and render whatever parses.
#include "json/JsonValue.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto value = qvx::json::ParseJson(text)) {
    const qvx::json::WideString rendered = qvx::json::Render(*value);
    // Rendered text narrows like a parameter text does in the service.
    (void)qvx::json::Narrow(rendered);
  }
  return 0;
}
