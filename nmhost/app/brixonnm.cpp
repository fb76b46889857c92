// brixonnm: the native messaging host the BRIXON browser extension talks to.
// The browser starts it for each page connection with the pipe on standard
// input and output; it ends when the browser closes the pipe.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
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
