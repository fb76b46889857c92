// qvxsim ctl: send one control line, print the reply.
#pragma once

#include <string>

namespace qvx::sim {

// Exit status: 0 for an OK reply, 1 for ERR, 2 when the simulator could
// not be reached or did not answer.
int RunControlClient(const std::string& path, const std::string& line);

}  // namespace qvx::sim
