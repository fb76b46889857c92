// qvxsim: the Quorvex2 on a socket, for the driver's tests and for demos.
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/ControlClient.h"
#include "app/Options.h"
#include "link/Presenter.h"
#include "link/Simulator.h"
#ifdef QVXSIM_USB
#include "umockdev/UsbCable.h"
#endif

namespace {

using namespace qvx::sim;

// SIGINT and SIGTERM arrive as a readable descriptor, so the loop ends
// normally and the socket files are removed on the way out.
UniqueFd StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return UniqueFd();
  return UniqueFd(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
}

int Serve(const SimulatorOptions& options, const std::optional<usb::UsbOptions>& usbOptions) {
  std::signal(SIGPIPE, SIG_IGN);
  const UniqueFd stop = StopSignals();
  if (!stop) {
    std::perror("qvxsim: signalfd");
    return 1;
  }
  const std::unique_ptr<Presenter> presenter = ::isatty(STDOUT_FILENO)
                                                   ? MakeTerminalPresenter(STDOUT_FILENO)
                                                   : MakeLogPresenter(STDERR_FILENO);
  try {
    std::unique_ptr<Simulator> simulator;
    if (usbOptions) {
#ifdef QVXSIM_USB
      simulator = std::make_unique<Simulator>(
          options,
          [&](Trace& trace) {
            return std::make_unique<usb::UsbCable>(*usbOptions, options.paced, trace);
          },
          presenter.get());
#else
      std::fprintf(stderr, "qvxsim: built without umockdev: no --usb\n");
      return 1;
#endif
    } else {
      simulator = std::make_unique<Simulator>(options, presenter.get());
    }
    simulator->Run(stop.Get());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvxsim: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.commandLine) {
    std::fprintf(stderr, "qvxsim: %s\n%s", parsed.error.c_str(), Usage());
    return 2;
  }
  const CommandLine& line = *parsed.commandLine;
  switch (line.mode) {
    case CommandLine::Mode::Help:
      std::printf("%s  %s\n", Usage(), ControlHelp());
      return 0;
    case CommandLine::Mode::Control:
      return RunControlClient(line.controlPath, line.controlLine);
    case CommandLine::Mode::Serve:
      break;
  }
  return Serve(line.serve, line.usb);
}
