#include "SharedSCard.h"

namespace qvx::brixon {

std::shared_ptr<platform::ISCard> SharedSCard(std::shared_ptr<CLoadLibraries> loaded) {
  return loaded;
}

}  // namespace qvx::brixon
