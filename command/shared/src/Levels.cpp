#include "command/Levels.h"

namespace qvx {

const char* LevelTag(std::int32_t level) {
  switch (level) {
    case LEVEL_INFO:
      return " [INF]";
    case LEVEL_DEBUG:
      return " [DBG]";
    case LEVEL_ERROR:
    default:
      return " [ERR]";
  }
}

}  // namespace qvx
