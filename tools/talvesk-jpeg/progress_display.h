#pragma once
// How decode and encode show a picture's progress: each notification as a line on stderr
// (--progress), a percentage bar when stderr is a terminal, or nothing (--quiet, or stderr is
// not a terminal). The bar fits the terminal's width, goes on to name the file being saved, and
// is cleared at the end, also when SIGINT or SIGTERM ends the program.
#include <csignal>
#include <cstdint>
#include <string>

#include "framework/graphics/graphic.h"

struct ProgressChoice {
  bool lines = false;  // --progress
  bool quiet = false;  // --quiet
};

// Shows the progress of one run; must outlive the graphic it watches. One at a time.
class ProgressDisplay {
 public:
  ProgressDisplay(const ProgressChoice& choice, const char* activity);
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  void Watch(TGraphic& graphic);
  // Says that the file is being saved, when the work before took long enough for a bar: a save
  // written to disk may take seconds more.
  void ShowSaving(const std::string& name);

 private:
  void ShowBar(TProgressStage stage, std::uint8_t percent);
  // Draws text over the bar's line, cut to the terminal's width.
  void Draw(std::string text);
  void ClearBar();

  bool lines_;
  bool bar_;
  const char* activity_;
  std::uint32_t startTick_ = 0;
  bool started_ = false;
  struct sigaction previousInterrupt_ {};
  struct sigaction previousTerminate_ {};
};
