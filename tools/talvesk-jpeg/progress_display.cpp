#include "tools/talvesk-jpeg/progress_display.h"

#include <unistd.h>

#include <cstdio>

#include "framework/platform/clock.h"

namespace {

// Work that ends sooner is not worth a bar; the picture's running notifications are at least
// this far apart anyway.
constexpr std::int32_t kBarDelayMs = 500;
constexpr int kBarWidth = 20;

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

}  // namespace

bool ProgressChoice::Apply(const std::string& option, bool offersLines) {
  if (option == "--quiet") {
    quiet = true;
  } else if (offersLines && option == "--progress") {
    lines = true;
  } else {
    return false;
  }
  return true;
}

ProgressDisplay::ProgressDisplay(const ProgressChoice& choice, const char* activity)
    : lines_(choice.lines),
      bar_(!choice.lines && !choice.quiet && ::isatty(STDERR_FILENO) == 1),
      activity_(activity) {}

ProgressDisplay::~ProgressDisplay() { ClearBar(); }

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

void ProgressDisplay::ShowBar(TProgressStage stage, std::uint8_t percent) {
  if (stage == psStarting) {
    startTick_ = GetTickCount();
    return;
  }
  // The ending notification comes however the run ends, so a failure's message gets a clean line.
  if (stage == psEnding) {
    ClearBar();
    return;
  }
  if (static_cast<std::int32_t>(GetTickCount() - startTick_) < kBarDelayMs) return;
  const int filled = percent * kBarWidth / 100;
  const std::string bar = "\r" + std::string(activity_) + " " +
                          std::string(percent < 10 ? 2 : (percent < 100 ? 1 : 0), ' ') +
                          std::to_string(percent) + "% [" + std::string(filled, '#') +
                          std::string(kBarWidth - filled, '-') + "]";
  std::fputs(bar.c_str(), stderr);
  barLength_ = bar.size() - 1;
}

void ProgressDisplay::ClearBar() {
  if (barLength_ == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(barLength_), "");
  barLength_ = 0;
}
