// The site lock's own reading of a page URL's text, for the two things it
// must not leave to how the system's URL call spells or signals them.
#pragma once

#include "brixon/SiteLock.h"

namespace qvx::brixon {

// Replaces `scheme` (what UrlGetPartW gave) with the same characters as the
// URL writes them. False, leaving `scheme` as it was, when the URL does not
// start with it (in any letter case) followed by ':'.
bool TakeSchemeAsWritten(LPCOLESTR url, OLECHAR* scheme);

// True when the authority (after "scheme:" and any run of '/' or '\', up to
// the first '/', '\', '?' or '#') holds an '@', that is user information,
// even an empty one.
bool AuthorityHasUserInfo(LPCOLESTR url);

}  // namespace qvx::brixon
