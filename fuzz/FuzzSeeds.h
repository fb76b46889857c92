// The starting inputs of a fuzz target: valid or nearly valid inputs from
// which mutation reaches the interesting shapes quickly. Each target
// defines them next to its LLVMFuzzerTestOneInput.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> FuzzSeeds();
