// libFuzzer start-up: writes the target's seeds into the directory
// $QVX_FUZZ_SEED_DIR names (the run passes it as the corpus), so a fresh run
// starts from them. libFuzzer reads its corpus after this returns.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "FuzzSeeds.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  const char* dir = std::getenv("QVX_FUZZ_SEED_DIR");
  if (dir == nullptr || dir[0] == '\0') return 0;
  int number = 0;
  for (const std::string& seed : FuzzSeeds()) {
    std::ofstream(std::string(dir) + "/seed-" + std::to_string(number++), std::ios::binary) << seed;
  }
  return 0;
}
