// Turning object, key and value names into safe single file names.
#pragma once

#include <string>

namespace platform {
namespace detail {

// Percent-encodes '/', '%', control characters and a leading '.', so that
// any name maps to exactly one file name in one directory and can never
// reach outside it ("." and ".." included).
std::string EscapeFileName(const std::string& name);

// ASCII lower case, for names that compare without regard to case.
std::string LowerAscii(std::string text);

// The home directory: $HOME, else the password database; empty if unknown.
std::string HomeDirectory();

}  // namespace detail
}  // namespace platform
