// Unix-domain sockets on a path: listening (with the path removed again on
// destruction) and connecting.
#pragma once

#include <string>

#include "platform/posix/UniqueFd.h"

namespace qvx::sim {

using platform::UniqueFd;

class ListeningSocket {
 public:
  // Binds and listens, non-blocking. A stale socket file left by a dead
  // process is replaced; a live listener or a non-socket file is an error.
  // Throws std::system_error.
  ListeningSocket(const std::string& path, int type);
  ListeningSocket(ListeningSocket&&) = default;
  ListeningSocket& operator=(ListeningSocket&&) = default;
  ~ListeningSocket();

  int Fd() const { return m_fd.Get(); }
  const std::string& Path() const { return m_path; }
  // A non-blocking accepted connection, or an invalid fd when none waits.
  UniqueFd Accept() const;

 private:
  std::string m_path;
  UniqueFd m_fd;
};

// Blocking connect; throws std::system_error.
UniqueFd ConnectUnix(const std::string& path, int type);

}  // namespace qvx::sim
