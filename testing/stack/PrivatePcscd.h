// A pcscd of a test's own: socket-activated on a socket in a directory the
// test owns, so it runs beside the machine's pcscd (and beside other tests'
// instances) without touching it. scripts/stack starts and stops it (its
// `pcscd` action), by the same recipe as the pcscd of a whole stack.
//
// The pcsc-lite client reads PCSCLITE_CSOCK_NAME once per process and keeps
// it, so a process talks to one pcscd only: export the socket path before
// the process's first PC/SC call, and use child processes to talk to more.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "PrivateDir.h"

namespace qvx::testing {

class PrivatePcscd {
 public:
  PrivatePcscd();
  ~PrivatePcscd();  // stops a running instance
  PrivatePcscd(const PrivatePcscd&) = delete;
  PrivatePcscd& operator=(const PrivatePcscd&) = delete;

  // Whether this machine can run one (pcscd, the launcher, and a writable
  // /run/pcscd or root); otherwise false with the reason in *why.
  static bool Available(std::string* why);

  // Starts pcscd in `dir` (created if missing; an empty dir makes a
  // temporary directory that goes away with this object), with the reader
  // configuration `readerConf`: a file or a directory, empty for no
  // readers at all. Returns once pcscd serves the socket; throws
  // std::runtime_error (with the end of pcscd's log) otherwise.
  void Start(const std::string& dir, const std::string& readerConf = "",
             const std::vector<std::string>& extraArgs = {});

  // SIGTERM, then SIGKILL if it does not end within a few seconds; removes
  // the socket. Does nothing when not running.
  void Stop();

  bool Running() const { return m_pid > 0; }
  pid_t Pid() const { return m_pid; }
  const std::string& Directory() const { return m_dir; }
  std::string SocketPath() const;
  std::string LogPath() const;

  // Points this process's pcsc-lite client at this instance (sets
  // PCSCLITE_CSOCK_NAME); effective only before the first PC/SC call.
  void ExportSocketPath() const;

  // The processes at the other end of this process's connected sockets:
  // the proof of which pcscd a process really talks to. pcsc-lite holds a
  // socket per open context and closes it on SCardReleaseContext, so ask
  // while a context is open.
  static std::vector<pid_t> PeersOfThisProcess();
  bool ServesThisProcess() const;

 private:
  pid_t m_pid = -1;
  std::string m_dir;
  std::unique_ptr<PrivateDir> m_ownDir;  // for Start("")
};

}  // namespace qvx::testing
