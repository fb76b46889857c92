// brixonnm: the native messaging host the BRIXON browser extension talks to.
// The browser starts it for each page connection with the pipe on standard
// input and output; it ends when the browser closes the pipe.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "command/Log.h"
#include "command/Report.h"
#include "command/VisibleText.h"
#include "nmhost/Framing.h"
#include "nmhost/Session.h"

namespace {

void LogLine(std::int32_t level, const std::string& text) {
  qvx::CLog log;
  log.Append(qvx::CReport::WithMessage(qvx::kStatusSuccess, level, "", "[NM] " + text));
}

// The browser starts the host as the customer, who cannot write the
// machine's log folder (ALLUSERSPROFILE's stand-in, /var/lib). Unless the
// environment or the machine's WSSLogFilePath setting places the log, the
// host's lines go to the customer's own state folder
// ($XDG_STATE_HOME/quorvex2, default ~/.local/state/quorvex2) instead of
// being lost.
void PlaceUserLog() {
  if (std::getenv("ALLUSERSPROFILE")) return;
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
    base = std::string(home) + "/.local/state";
  } else {
    return;
  }
  const std::string dir = base + "/quorvex2";
  // Each level in turn; one that exists already is fine.
  for (std::size_t at = 1; at != std::string::npos;) {
    at = dir.find('/', at + 1);
    mkdir(dir.substr(0, at).c_str(), 0700);
  }
  setenv("ALLUSERSPROFILE", dir.c_str(), 1);
}

std::size_t ReadInput(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return 0;  // an unreadable pipe ends the session like a closed one
  }
}

// A browser that has gone takes nothing more; the failure is not an error
// of ours to report anywhere but the log.
void WriteOutput(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    done += static_cast<std::size_t>(wrote);
  }
}

void Send(const std::string& json) {
  try {
    WriteOutput(qvx::nmhost::EncodeFrame(json));
  } catch (const std::length_error& error) {
    LogLine(qvx::LEVEL_ERROR, error.what());
    WriteOutput(qvx::nmhost::EncodeFrame(
        qvx::nmhost::ErrorReply("", "The reply is too large for the browser.")));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (isatty(STDIN_FILENO)) {
    std::fprintf(stderr,
                 "usage: brixonnm [CALLER]\n"
                 "The BRIXON extension's native messaging host: the browser starts it and talks\n"
                 "to it over standard input and output (see docs/web-developers.md).\n");
    return 64;
  }
  // Writes to a closed pipe fail with EPIPE instead of ending the process,
  // so a waiting request can still be cancelled on the device.
  std::signal(SIGPIPE, SIG_IGN);
  PlaceUserLog();
  // Chromium passes the caller's origin, Firefox the manifest path and the
  // extension's id.
  const std::string caller = argc > 1 ? argv[argc > 2 ? 2 : 1] : "";
  LogLine(qvx::LEVEL_INFO, std::string("Native messaging host is started. [") + QVX_VERSION +
                               "] Caller: " + qvx::VisibleText(caller));

  // Tells the extension that the host is installed and runs, before any
  // request: the page's CheckBRIXON waits for it.
  Send(std::string("{\"Ready\":\"") + QVX_VERSION + "\"}");

  int exitCode = 0;
  {
    qvx::nmhost::CSession session(qvx::protocol::SystemCommandFactory(), Send);
    qvx::nmhost::CFrameReader reader(ReadInput);
    for (;;) {
      qvx::nmhost::Frame frame = reader.Next();
      if (frame.kind == qvx::nmhost::FrameKind::Message) {
        session.Handle(frame.text);
        continue;
      }
      if (frame.kind == qvx::nmhost::FrameKind::Fault) {
        LogLine(qvx::LEVEL_ERROR, "Input: " + frame.fault + ".");
        Send(qvx::nmhost::ErrorReply("", "Unreadable input: " + frame.fault + "."));
        exitCode = 1;
      }
      break;
    }
    session.Finish();
  }
  LogLine(qvx::LEVEL_INFO, "Native messaging host is stopped.");
  return exitCode;
}
