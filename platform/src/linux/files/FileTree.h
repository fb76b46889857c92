// Removing a directory tree without following symbolic links.
#pragma once

#include <string>

namespace platform {
namespace detail {

// Removes everything inside `directory`, and the directory itself when
// `includeSelf`. Raises PlatformError on failure.
void RemoveTree(const std::string& directory, bool includeSelf);

}  // namespace detail
}  // namespace platform
