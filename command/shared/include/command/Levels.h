// The levels of a log line in both revisions, and the tag each renders with.
#pragma once

#include <cstdint>

namespace qvx {

constexpr std::int32_t LEVEL_INFO = 0;
constexpr std::int32_t LEVEL_ERROR = 1;
constexpr std::int32_t LEVEL_DEBUG = 2;

// " [INF]", " [ERR]" or " [DBG]". Levels outside the three are most likely
// a caller's mistake; they are tagged as errors so that they stand out.
const char* LevelTag(std::int32_t level);

}  // namespace qvx
