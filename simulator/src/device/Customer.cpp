#include "device/Customer.h"

namespace qvx::sim {

std::string Describe(const CustomerScript& script) {
  switch (script.kind) {
    case CustomerScript::Kind::Approve:
      return "approve " + std::to_string(script.delay.count());
    case CustomerScript::Kind::Cancel:
      return "cancel " + std::to_string(script.delay.count());
    case CustomerScript::Kind::Never:
      break;
  }
  return "never";
}

}  // namespace qvx::sim
