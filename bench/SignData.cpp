#include "SignData.h"

#include <chrono>
#include <stdexcept>

#include "command/Quorvex2.h"

namespace qvx::bench {

std::string SignData(std::size_t blocks) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string text;
  text.reserve(blocks * kBlockBytes * 2);
  for (std::size_t block = 0; block < blocks; ++block) {
    text += "00FE";  // tag 0, 254 bytes
    for (std::size_t i = 0; i < kBlockBytes - 2; ++i) {
      const auto byte = static_cast<unsigned>((block + i) & 0xFF);
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0x0F];
    }
  }
  return text;
}

double TimeGetResponse(const std::string& signData) {
  const auto start = std::chrono::steady_clock::now();
  std::string result;
  {
    qvx::CQuorvex2 command;
    result = command.GetResponse(signData, "en");
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (result.rfind("Status=0\n", 0) != 0)
    throw std::runtime_error("GetResponse failed:\n" + result);
  return elapsed.count();
}

}  // namespace qvx::bench
