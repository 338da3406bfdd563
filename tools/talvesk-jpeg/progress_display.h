#pragma once
// How decode and encode show a picture's progress: each notification as a line on stderr
// (--progress), a percentage bar when stderr is a terminal, or nothing (--quiet, or stderr is
// not a terminal).
#include <cstdint>
#include <string>

#include "framework/graphics/graphic.h"

struct ProgressChoice {
  bool lines = false;  // --progress
  bool quiet = false;  // --quiet
  // Applies --progress (when offered) or --quiet; false for any other option.
  bool Apply(const std::string& option, bool offersLines);
};

// Shows the progress of one run; must outlive the graphic it watches.
class ProgressDisplay {
 public:
  ProgressDisplay(const ProgressChoice& choice, const char* activity);
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  void Watch(TGraphic& graphic);

 private:
  void ShowBar(TProgressStage stage, std::uint8_t percent);
  void ClearBar();

  bool lines_;
  bool bar_;
  const char* activity_;
  std::uint32_t startTick_ = 0;
  std::size_t barLength_ = 0;  // characters on the terminal's line, 0 when none
};
