// Where the simulator shows itself: a redrawn screen in a terminal, or one
// log line per event for a log file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace qvx::sim {

struct Screen {
  std::vector<std::string> display;
  std::string version;
  std::string socketPath;
  bool connected = false;
  bool plugged = true;
  bool cardInserted = false;
  bool cardPowered = false;
  bool busy = false;
  bool waiting = false;
  std::size_t pinDigits = 0;
  std::string customer;
};

bool operator==(const Screen& a, const Screen& b);

class Presenter {
 public:
  virtual ~Presenter() = default;
  virtual void Event(const std::string& text) = 0;
  virtual void Show(const Screen& screen) = 0;
};

// Plain ANSI: home, clear, draw; only when something changed.
std::unique_ptr<Presenter> MakeTerminalPresenter(int fd);
// "hh:mm:ss.mmm qvxsim: text" per event to the descriptor.
std::unique_ptr<Presenter> MakeLogPresenter(int fd);

}  // namespace qvx::sim
