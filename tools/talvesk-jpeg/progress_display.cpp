#include "tools/talvesk-jpeg/progress_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "framework/platform/clock.h"

namespace {

// Work that ends sooner is not worth a bar; the picture's running notifications are at least
// this far apart anyway.
constexpr std::int32_t kBarDelayMs = 500;
constexpr int kBarWidth = 20;
// A narrower bar says nothing; the percentage alone is shown then.
constexpr int kNarrowestBar = 4;

// Characters on the terminal's line now, for the signal handler that clears them.
volatile std::sig_atomic_t shownColumns = 0;

const char* StageName(TProgressStage stage) {
  switch (stage) {
    case psStarting:
      return "starting";
    case psRunning:
      return "running";
    case psEnding:
      return "ending";
  }
  return "unknown";
}

void PrintLine(TProgressStage stage, std::uint8_t percent, bool redraw, const TRect& rect) {
  std::fprintf(stderr, "%s %d %d %d %d %d %d\n", StageName(stage), percent, redraw ? 1 : 0,
               rect.Left, rect.Top, rect.Right, rect.Bottom);
}

// Columns a line may use: one short of the terminal's width, since writing the last column
// makes some terminals wrap.
int UsableColumns() {
  winsize size{};
  const int columns = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  return (columns > 0 ? columns : 80) - 1;
}

// Only async-signal-safe calls: overwrites the shown characters with spaces.
void WriteClearing(int columns) {
  static constexpr auto kSpaces = [] {
    std::array<char, 64> spaces{};
    spaces.fill(' ');
    return spaces;
  }();
  if (::write(STDERR_FILENO, "\r", 1) < 0) return;
  for (int left = columns; left > 0;) {
    const int piece = std::min(left, static_cast<int>(kSpaces.size()));
    if (::write(STDERR_FILENO, kSpaces.data(), static_cast<std::size_t>(piece)) < 0) return;
    left -= piece;
  }
  if (::write(STDERR_FILENO, "\r", 1) < 0) return;
}

// Clears the line, then lets the signal end the program as it would have without the bar.
void ClearAndEnd(int signal) {
  WriteClearing(shownColumns);
  shownColumns = 0;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Installs the clearing handler unless the signal is ignored (a background job's SIGINT).
void CatchSignal(int signal, struct sigaction& previous) {
  struct sigaction action {};
  action.sa_handler = ClearAndEnd;
  sigemptyset(&action.sa_mask);
  if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) return;
  ::sigaction(signal, &action, nullptr);
}

}  // namespace

ProgressDisplay::ProgressDisplay(const ProgressChoice& choice, const char* activity)
    : lines_(choice.lines),
      bar_(!choice.lines && !choice.quiet && ::isatty(STDERR_FILENO) == 1),
      activity_(activity) {
  if (!bar_) return;
  CatchSignal(SIGINT, previousInterrupt_);
  CatchSignal(SIGTERM, previousTerminate_);
}

ProgressDisplay::~ProgressDisplay() {
  ClearBar();
  if (!bar_) return;
  ::sigaction(SIGINT, &previousInterrupt_, nullptr);
  ::sigaction(SIGTERM, &previousTerminate_, nullptr);
}

void ProgressDisplay::Watch(TGraphic& graphic) {
  if (lines_) {
    graphic.OnProgress = [](TObject*, TProgressStage stage, std::uint8_t percent, bool redraw,
                            const TRect& rect,
                            const AnsiString&) { PrintLine(stage, percent, redraw, rect); };
  } else if (bar_) {
    graphic.OnProgress = [this](TObject*, TProgressStage stage, std::uint8_t percent, bool,
                                const TRect&, const AnsiString&) { ShowBar(stage, percent); };
  }
}

void ProgressDisplay::ShowSaving(const std::string& name) {
  if (!bar_ || !started_ || static_cast<std::int32_t>(GetTickCount() - startTick_) < kBarDelayMs) {
    return;
  }
  Draw("saving " + name);
}

void ProgressDisplay::ShowBar(TProgressStage stage, std::uint8_t percent) {
  if (stage == psStarting) {
    startTick_ = GetTickCount();
    started_ = true;
    return;
  }
  // The ending notification comes however the run ends, so a failure's message gets a clean line.
  if (stage == psEnding) {
    ClearBar();
    return;
  }
  if (static_cast<std::int32_t>(GetTickCount() - startTick_) < kBarDelayMs) return;
  std::string text = std::string(activity_) + " " +
                     std::string(percent < 10 ? 2 : (percent < 100 ? 1 : 0), ' ') +
                     std::to_string(percent) + "%";
  const int barWidth = std::min(kBarWidth, UsableColumns() - static_cast<int>(text.size()) - 3);
  if (barWidth >= kNarrowestBar) {
    const int filled = percent * barWidth / 100;
    text += " [" + std::string(filled, '#') + std::string(barWidth - filled, '-') + "]";
  }
  Draw(std::move(text));
}

void ProgressDisplay::Draw(std::string text) {
  text.resize(std::min(text.size(), static_cast<std::size_t>(std::max(UsableColumns(), 0))));
  const int columns = static_cast<int>(text.size());
  // A shorter text leaves the end of the longer one; spaces cover it.
  const int shown = shownColumns;
  const int covered = std::max(columns, shown);
  text.append(static_cast<std::size_t>(covered - columns), ' ');
  shownColumns = covered;
  std::fputs(("\r" + text).c_str(), stderr);
  std::fflush(stderr);
}

void ProgressDisplay::ClearBar() {
  if (shownColumns == 0) return;
  std::fflush(stderr);
  WriteClearing(shownColumns);
  shownColumns = 0;
}
