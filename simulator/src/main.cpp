// qvxsim: the Quorvex2 on a socket, for the driver's tests and for demos.
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <thread>
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

#ifdef QVXSIM_USB
// --usb-devices N: the devices on one bus, each its own simulator on its
// own thread (the first on this one), until the stop signal.
void ServeUsbDevices(const CommandLine& line, int stopFd) {
  const auto bus = std::make_shared<usb::UsbBus>();
  std::vector<std::unique_ptr<Presenter>> presenters;
  std::vector<std::unique_ptr<Simulator>> simulators;
  for (int k = 1; k <= line.usbDevices; ++k) {
    SimulatorOptions options = line.serve;
    options.controlPath = NthControlPath(line.serve.controlPath, k);
    const usb::UsbOptions device = NthUsbDevice(*line.usb, k);
    presenters.push_back(MakeLogPresenter(STDERR_FILENO));
    simulators.push_back(std::make_unique<Simulator>(
        options,
        [&](Trace& trace) {
          return std::make_unique<usb::UsbCable>(device, options.paced, trace, bus);
        },
        presenters.back().get()));
  }
  std::vector<std::thread> others;
  for (std::size_t k = 1; k < simulators.size(); ++k) {
    others.emplace_back([&simulators, k, stopFd] {
      try {
        simulators[k]->Run(stopFd);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "qvxsim: device %zu: %s\n", k + 1, e.what());
        std::_Exit(1);
      }
    });
  }
  try {
    simulators[0]->Run(stopFd);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvxsim: device 1: %s\n", e.what());
    std::_Exit(1);
  }
  for (std::thread& other : others) other.join();
}
#endif

int Serve(const CommandLine& line) {
  const SimulatorOptions& options = line.serve;
  const std::optional<usb::UsbOptions>& usbOptions = line.usb;
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
    if (usbOptions && line.usbDevices > 1) {
#ifdef QVXSIM_USB
      ServeUsbDevices(line, stop.Get());
      return 0;
#endif
    }
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
  return Serve(line);
}
