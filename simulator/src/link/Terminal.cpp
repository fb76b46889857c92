#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <deque>

#include "device/Display.h"
#include "link/Presenter.h"

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
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<long>(now.tv_usec / 1000));
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
  explicit TerminalPresenter(int fd) : m_fd(fd) {}
  ~TerminalPresenter() override { WriteAll(m_fd, "\n"); }

  void Event(const std::string& text) override {
    m_recent.push_back(Clock() + "  " + text);
    if (m_recent.size() > kRecent) m_recent.pop_front();
    m_dirty = true;
  }

  void Show(const Screen& screen) override {
    if (!m_dirty && m_drawn && screen == m_last) return;
    m_last = screen;
    m_drawn = true;
    m_dirty = false;
    Draw();
  }

 private:
  static constexpr std::size_t kRecent = 8;

  void Draw() {
    const std::string border = "+" + std::string(Display::kColumns + 2, '-') + "+\n";
    std::string out = "\x1b[H\x1b[2J";
    out += "qvxsim  firmware " + m_last.version + "  on " + m_last.socketPath + "\n\n";
    out += border;
    for (std::size_t row = 0; row < Display::kRows; ++row) {
      const std::string line = row < m_last.display.size() ? m_last.display[row] : "";
      out += "| " + line +
             std::string(Display::kColumns - std::min(Display::kColumns, Columns(line)), ' ') +
             " |\n";
    }
    out += border;
    out += "  [1][2][3]  [OK]\n  [4][5][6]  [Cancel]\n  [7][8][9]\n     [0]\n\n";
    out += "keypad:   ";
    out += m_last.waiting
               ? "waiting for PIN and OK (" + std::to_string(m_last.pinDigits) + " digits)"
               : "idle";
    out += "\ncustomer: " + m_last.customer;
    out += "\ncard:     ";
    out += m_last.cardInserted ? (m_last.cardPowered ? "inserted, powered" : "inserted") : "none";
    out += "\ndriver:   ";
    out += !m_last.plugged    ? "unplugged"
           : m_last.connected ? (m_last.busy ? "connected, busy" : "connected")
                              : "waiting";
    out += "\n\n";
    for (const std::string& line : m_recent) out += line + "\n";
    WriteAll(m_fd, out);
  }

  int m_fd;
  Screen m_last;
  bool m_drawn = false;
  bool m_dirty = false;
  std::deque<std::string> m_recent;
};

class LogPresenter : public Presenter {
 public:
  explicit LogPresenter(int fd) : m_fd(fd) {}
  void Event(const std::string& text) override {
    WriteAll(m_fd, Clock() + " qvxsim: " + text + "\n");
  }
  void Show(const Screen&) override {}

 private:
  int m_fd;
};

}  // namespace

bool operator==(const Screen& a, const Screen& b) {
  return a.display == b.display && a.version == b.version && a.socketPath == b.socketPath &&
         a.connected == b.connected && a.plugged == b.plugged && a.cardInserted == b.cardInserted &&
         a.cardPowered == b.cardPowered && a.busy == b.busy && a.waiting == b.waiting &&
         a.pinDigits == b.pinDigits && a.customer == b.customer;
}

std::unique_ptr<Presenter> MakeTerminalPresenter(int fd) {
  return std::make_unique<TerminalPresenter>(fd);
}

std::unique_ptr<Presenter> MakeLogPresenter(int fd) { return std::make_unique<LogPresenter>(fd); }

}  // namespace qvx::sim
