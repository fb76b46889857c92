// One client connection, served in a child process of its own.
#pragma once

namespace qvx::testing::relay {

// Serves requests on `fd` until the client closes it or sends a malformed
// frame, then ends the process. A client that hangs up while a call blocks
// ends the process at once, as a killed Windows program would end its own:
// pcscd drops the context and the direct-share lock reads as abandoned.
[[noreturn]] void ServeConnection(int fd);

}  // namespace qvx::testing::relay
