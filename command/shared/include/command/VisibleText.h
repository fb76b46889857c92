// Values from outside in a log line: shown, never obeyed.
#pragma once

#include <string>
#include <string_view>

namespace qvx {

// The text with its control characters (C0 and DEL) written out: "\n", "\r"
// and "\t" as such, the others as "\xNN". A value can then neither start a
// physical line of its own (which would read like one the program wrote)
// nor hide what it holds; printable text, backslashes and bytes above 0x7F
// stay as they are.
std::string VisibleText(std::string_view text);

}  // namespace qvx
