// Drives a fuzz entry without libFuzzer, for compilers that lack it (and
// for the short passes of `make test`): the target's seeds, then random
// mutations of them and random bytes, for a bounded time with a fixed seed,
// so a finding can be replayed.
//   <target> [SECONDS] [SEED]
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "FuzzSeeds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::string Mutate(std::string text, std::mt19937& random) {
  std::uniform_int_distribution<int> action(0, 3);
  std::uniform_int_distribution<int> byte(0, 255);
  const int edits = 1 + static_cast<int>(random() % 8);
  for (int i = 0; i < edits; ++i) {
    const std::size_t at = text.empty() ? 0 : random() % (text.size() + 1);
    switch (action(random)) {
      case 0:
        text.insert(at, 1, static_cast<char>(byte(random)));
        break;
      case 1:
        if (at < text.size()) text.erase(at, 1);
        break;
      case 2:
        if (at < text.size()) text[at] = static_cast<char>(byte(random));
        break;
      default:
        // Structural characters make deep and odd shapes likely.
        text.insert(at, 1, "[]{}\":,\\"[random() % 8]);
        break;
    }
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  const unsigned seed =
      argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 20261208u;
  std::mt19937 random(seed);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);

  std::vector<std::string> pool = FuzzSeeds();
  if (pool.empty()) pool.emplace_back();
  unsigned long runs = 0;
  while (std::chrono::steady_clock::now() < end) {
    std::string input;
    if (random() % 8 == 0) {
      input.resize(random() % 256);
      for (char& c : input) c = static_cast<char>(random());
    } else {
      input = Mutate(pool[random() % pool.size()], random);
      if (pool.size() < 4096 && random() % 16 == 0) pool.push_back(input);
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    ++runs;
  }
  std::printf("%lu runs in %.0f s (seed %u), no finding\n", runs, seconds, seed);
  return 0;
}
