// qvx-scard-relay: gives Windows programs under Wine the private pcscd of a
// test stack. The relay's winscard.dll forwards each PC/SC call over
// loopback TCP; every connection is served by a child process of its own
// with the platform's SCard table, so a Windows program holds readers as a
// Linux process would.
//
//   qvx-scard-relay [--port N] [--port-file PATH] [--stdin-lifeline]
//
// Run it with the stack's environment (`. DIR/env`). Once it accepts it
// prints "qvx-scard-relay listening on 127.0.0.1:PORT" and, with
// --port-file, writes PORT to PATH (atomically), so callers wait for either
// rather than sleep. It ends on SIGTERM or SIGINT and, with
// --stdin-lifeline, when its standard input reaches end of file (a launcher
// that dies, even by SIGKILL, closes the pipe and so takes the relay along).
// Its sessions end with it.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>

#include "Listener.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnStop(int) { g_stop = 1; }

int Usage() {
  std::fprintf(stderr, "usage: qvx-scard-relay [--port N] [--port-file PATH] [--stdin-lifeline]\n");
  return 64;
}

bool WritePortFile(const std::string& path, std::uint16_t port) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << port << '\n';
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long port = 0;
  std::string portFile;
  bool lifeline = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--port" && i + 1 < argc) {
      char* end = nullptr;
      port = std::strtoul(argv[++i], &end, 10);
      if (*end != '\0' || port > 65535) return Usage();
    } else if (option == "--port-file" && i + 1 < argc) {
      portFile = argv[++i];
    } else if (option == "--stdin-lifeline") {
      lifeline = true;
    } else {
      return Usage();
    }
  }

  struct sigaction action {};
  action.sa_handler = OnStop;  // no SA_RESTART: accept() returns EINTR
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  // Children are reaped by the kernel: the relay never asks how they ended.
  signal(SIGCHLD, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);

  try {
    qvx::testing::relay::CListener listener(static_cast<std::uint16_t>(port));
    if (!portFile.empty() && !WritePortFile(portFile, listener.Port())) {
      std::fprintf(stderr, "qvx-scard-relay: cannot write %s\n", portFile.c_str());
      return 1;
    }
    std::printf("qvx-scard-relay listening on 127.0.0.1:%u\n", listener.Port());
    std::fflush(stdout);
    listener.Run(&g_stop, lifeline ? 0 : -1);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "qvx-scard-relay: %s\n", failure.what());
    return 1;
  }
  return 0;
}
