// Fuzz entry: the admission rules on arbitrary origin and peer texts. Besides
// not failing, an accepted origin must really end in an allowed domain and
// use the https scheme.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSeeds.h"
#include "endpoint/Origin.h"

std::vector<std::string> FuzzSeeds() {
  return {"https://www.brixbank.example",
          "https://online.brixonline.example:8443",
          "https://a.brixbank.example.evil.example",
          "http://www.brixbank.example",
          "https://user@www.brixbank.example/path?q#f",
          "null",
          "127.0.0.1",
          "::ffff:127.0.0.1"};
}

namespace {

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

void Check(std::string_view text) {
  using namespace qvx::endpoint;
  const UrlParts parts = SplitUrl(text);
  if (parts.scheme.size() + parts.host.size() + parts.port.size() > text.size()) std::abort();

  if (IsAllowedOrigin(text)) {
    const bool knownDomain =
        EndsWith(parts.host, ".brixbank.example") || EndsWith(parts.host, ".brixonline.example");
    if (parts.scheme != "https" || !knownDomain) std::abort();
  }
  if (IsLocalPeer(text) && !EndsWith(text, "127.0.0.1")) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  // Bare bytes rarely look like an origin; wrapping them in the allowed
  // shapes puts the random part where the rules have to decide.
  Check(input);
  Check("https://" + input);
  Check(input + ".brixbank.example");
  Check("https://" + input + ".brixonline.example");
  Check("https://a" + input + ".brixbank.example:9041");
  return 0;
}
