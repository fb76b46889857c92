// brixonnm: the native messaging host the BRIXON browser extension talks to.
// The browser starts it for each page connection with the pipe on standard
// input and output; it ends when the browser closes the pipe.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "command/Log.h"
#include "command/Report.h"
#include "command/VisibleText.h"
#include "nmhost/Caller.h"
#include "nmhost/Framing.h"
#include "nmhost/HostSystem.h"
#include "nmhost/Session.h"

namespace {

void LogLine(std::int32_t level, const std::string& text) {
  qvx::CLog log;
  log.Append(qvx::CReport::WithMessage(qvx::kStatusSuccess, level, "", "[NM] " + text));
}

void Send(const std::string& json) {
  try {
    qvx::nmhost::WriteOutput(qvx::nmhost::EncodeFrame(json));
  } catch (const std::length_error& error) {
    LogLine(qvx::LEVEL_ERROR, error.what());
    qvx::nmhost::WriteOutput(qvx::nmhost::EncodeFrame(
        qvx::nmhost::ErrorReply("", "The reply is too large for the browser.")));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qvx::nmhost::InputIsConsole()) {
    std::fprintf(stderr,
                 "usage: brixonnm [CALLER]\n"
                 "The BRIXON extension's native messaging host: the browser starts it and talks\n"
                 "to it over standard input and output (see docs/web-developers.md).\n");
    return 64;
  }
  qvx::nmhost::PreparePipe();
  qvx::nmhost::PlaceCustomerLog();
  const std::string caller = qvx::nmhost::CallerOf(std::vector<std::string>(argv + 1, argv + argc));
  LogLine(qvx::LEVEL_INFO, std::string("Native messaging host is started. [") + QVX_VERSION +
                               "] Caller: " + qvx::VisibleText(caller));

  // Tells the extension that the host is installed and runs, before any
  // request: the page's CheckBRIXON waits for it.
  Send(std::string("{\"Ready\":\"") + QVX_VERSION + "\"}");

  int exitCode = 0;
  {
    qvx::nmhost::CSession session(qvx::protocol::SystemCommandFactory(), Send);
    qvx::nmhost::CFrameReader reader(qvx::nmhost::ReadInput);
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
