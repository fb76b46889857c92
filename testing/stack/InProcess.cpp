#include "InProcess.h"

#include <stdexcept>

#include "command/Quorvex2.h"

namespace qvx::testing {

std::string RunInProcess(const std::vector<std::string>& a) {
  qvx::CQuorvex2 q;
  const std::string& name = a.at(0);
  if (name == "check-connection") return q.CheckConnection();
  if (name == "check-card") return q.CheckCard(a.at(1));
  if (name == "get-response") return q.GetResponse(a.at(1), a.at(2));
  if (name == "get-mode1-response") return q.GetMode1Response(a.at(1), a.at(2), a.at(3));
  if (name == "get-mode2-response") return q.GetMode2Response();
  if (name == "display-result")
    return q.DisplayResult(static_cast<std::uint16_t>(std::stoi(a.at(1))), a.at(2), a.at(3));
  if (name == "cancel") {
    q.Cancel();
    return {};
  }
  throw std::invalid_argument("no such command: " + name);
}

int StatusOf(const std::string& result) {
  const std::string key = "Status=";
  if (result.rfind(key, 0) != 0) return -1;
  return std::stoi(result.substr(key.size()));
}

}  // namespace qvx::testing
