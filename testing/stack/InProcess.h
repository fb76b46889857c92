// A qvxcmd command line run through the library in this process, for tests
// that compare the two paths.
#pragma once

#include <string>
#include <vector>

namespace qvx::testing {

// The result text (empty for cancel); a fresh command object per call.
std::string RunInProcess(const std::vector<std::string>& qvxcmdArgs);

// The number after "Status=" on the first line; -1 when there is none.
int StatusOf(const std::string& result);

}  // namespace qvx::testing
