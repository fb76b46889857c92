// STD3 host name rules, which the site lock checks itself on a host and on
// its converted form.
#pragma once

#include "brixon/SiteLock.h"

namespace qvx::brixon {

// Labels of ASCII letters, digits and inner hyphens (and, with
// `beforeConversion`, characters from U+0080 up), separated by single dots
// (before conversion also U+3002, U+FF0E and U+FF61, which become dots). A
// final dot, the root label, is allowed.
bool FollowsStd3Rules(const OLECHAR* name, std::size_t length, bool beforeConversion);

}  // namespace qvx::brixon
