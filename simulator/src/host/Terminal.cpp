#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <deque>

#include "device/Display.h"
#include "host/Presenter.h"

namespace qvx::sim {
namespace {

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere left to show it
    }
    done += static_cast<std::size_t>(written);
  }
}

std::string Clock() {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<long>(now.tv_usec / 1000));
  return text;
}

std::size_t Columns(const std::string& utf8) {
  std::size_t count = 0;
  for (const char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

class TerminalPresenter : public Presenter {
 public:
  explicit TerminalPresenter(int fd) : fd_(fd) {}
  ~TerminalPresenter() override { WriteAll(fd_, "\n"); }

  void Event(const std::string& text) override {
    recent_.push_back(Clock() + "  " + text);
    if (recent_.size() > kRecent) recent_.pop_front();
    dirty_ = true;
  }

  void Show(const Screen& screen) override {
    if (!dirty_ && drawn_ && screen == last_) return;
    last_ = screen;
    drawn_ = true;
    dirty_ = false;
    Draw();
  }

 private:
  static constexpr std::size_t kRecent = 8;

  void Draw() {
    const std::string border = "+" + std::string(Display::kColumns + 2, '-') + "+\n";
    std::string out = "\x1b[H\x1b[2J";
    out += "qvxsim  firmware " + last_.version + "  on " + last_.socketPath + "\n\n";
    out += border;
    for (std::size_t row = 0; row < Display::kRows; ++row) {
      const std::string line = row < last_.display.size() ? last_.display[row] : "";
      out += "| " + line + std::string(Display::kColumns - std::min(Display::kColumns, Columns(line)), ' ') + " |\n";
    }
    out += border;
    out += "  [1][2][3]  [OK]\n  [4][5][6]  [Cancel]\n  [7][8][9]\n     [0]\n\n";
    out += "keypad:   ";
    out += last_.waiting ? "waiting for PIN and OK (" + std::to_string(last_.pinDigits) + " digits)" : "idle";
    out += "\ncustomer: " + last_.customer;
    out += "\ncard:     ";
    out += last_.cardInserted ? (last_.cardPowered ? "inserted, powered" : "inserted") : "none";
    out += "\ndriver:   ";
    out += !last_.plugged ? "unplugged" : last_.connected ? (last_.busy ? "connected, busy" : "connected") : "waiting";
    out += "\n\n";
    for (const std::string& line : recent_) out += line + "\n";
    WriteAll(fd_, out);
  }

  int fd_;
  Screen last_;
  bool drawn_ = false;
  bool dirty_ = false;
  std::deque<std::string> recent_;
};

class LogPresenter : public Presenter {
 public:
  explicit LogPresenter(int fd) : fd_(fd) {}
  void Event(const std::string& text) override { WriteAll(fd_, Clock() + " qvxsim: " + text + "\n"); }
  void Show(const Screen&) override {}

 private:
  int fd_;
};

}  // namespace

bool operator==(const Screen& a, const Screen& b) {
  return a.display == b.display && a.version == b.version && a.socketPath == b.socketPath &&
         a.connected == b.connected && a.plugged == b.plugged && a.cardInserted == b.cardInserted &&
         a.cardPowered == b.cardPowered && a.busy == b.busy && a.waiting == b.waiting &&
         a.pinDigits == b.pinDigits && a.customer == b.customer;
}

std::unique_ptr<Presenter> MakeTerminalPresenter(int fd) { return std::make_unique<TerminalPresenter>(fd); }

std::unique_ptr<Presenter> MakeLogPresenter(int fd) { return std::make_unique<LogPresenter>(fd); }

}  // namespace qvx::sim
