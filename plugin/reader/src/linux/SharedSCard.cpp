#include "SharedSCard.h"

#include <utility>

#include "platform/linux/DirectShareSCard.h"

namespace qvx::brixon {

std::shared_ptr<platform::ISCard> SharedSCard(std::shared_ptr<CLoadLibraries> loaded) {
  return std::make_shared<platform::CDirectShareSCard>(std::move(loaded));
}

}  // namespace qvx::brixon
