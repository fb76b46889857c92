// libFuzzer entry: parse arbitrary request bytes and render whatever parses.
#include "json/JsonValue.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSeeds.h"

std::vector<std::string> FuzzSeeds() {
  return {
      R"({"Name":4,"Params":["12345678","0978","000000012345"]})",
      R"({"Name":6,"Params":[3,"01 Jan 24, 09:30h","nl"]})",
      R"({"Name":2.9,"Params":"nl","x":[true,false,null,{"a":[1e-300,-0.5]}]})",
      R"(["\u0141\ud83d\ude00\"\\\/\b\f\n\r\t",1E+020,-0])",
      R"({"Name":1,"Params":[[[[[[[[]]]]]]]]})",
  };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto value = qvx::json::ParseJson(text)) {
    const qvx::json::WideString rendered = qvx::json::Render(*value);
    // Rendered text narrows like a parameter text does in the service.
    (void)qvx::json::Narrow(rendered);
  }
  return 0;
}
