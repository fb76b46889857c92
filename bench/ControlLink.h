// One open connection to a simulator's control socket: a command a line, its
// reply a line. Quicker than a `qvxsim ctl` process per command, so card
// movements can follow each other within a millisecond.
#pragma once

#include <chrono>
#include <string>

namespace qvx::bench {

class CControlLink {
 public:
  // Throws std::runtime_error when the socket cannot be reached.
  explicit CControlLink(const std::string& path);
  ~CControlLink();
  CControlLink(const CControlLink&) = delete;
  CControlLink& operator=(const CControlLink&) = delete;

  // The reply line without its newline; throws when the simulator is gone
  // or answers "ERR ...".
  std::string Send(const std::string& command);

  // Polls `state` until it holds `field` ("waiting=yes"); false after `limit`.
  bool StateShows(const std::string& field, std::chrono::milliseconds limit);

 private:
  int m_fd = -1;
  std::string m_pending;  // read beyond the last reply line
};

}  // namespace qvx::bench
