#pragma once
// Side-by-side timing: one benchmark runs the picture unit's operation and its baselines in
// turn, each once per iteration in rotating order, and times every run with the thread's CPU
// clock. Runs milliseconds apart see the same machine, so their ratio is free of the drift
// between separately scheduled benchmarks (other guests, the memory's state), which on a
// shared virtual machine is larger than the few per cent being judged.
#include <functional>
#include <string>
#include <vector>

#include "bench/case_table.h"

namespace bench {

struct TimedSide {
  std::string name;
  std::function<void()> run;        // timed
  std::function<void()> prepare{};  // untimed, before each run
  std::function<void()> cleanup{};  // untimed, after each run
};

// A table row comparing two sides of the group.
struct SideComparison {
  std::string title;
  std::string unitSide, baselineSide;
  TargetKind kind = TargetKind::Ratio;
  double limit = 1.03;
};

struct SideBySide {
  std::string id;  // the benchmark's name
  std::vector<TimedSide> sides;
  std::vector<SideComparison> rows;
  // Runs once before timing: throws when a side cannot work; returns a note for the table
  // (empty when the sides agree, e.g. give the same pixels).
  std::function<std::string()> check{};
};

// Registers the benchmark and its rows. Per repetition it reports "<side>_ms" (CPU time per
// run), "<side>_faults" (page faults per run) and, for each row, "<unit>/<baseline>" (the ratio
// of the summed times); the table shows the medians of these over the repetitions.
void RegisterSideBySide(SideBySide group);

std::string SideMillisCounter(const std::string& side);
std::string SideRatioCounter(const std::string& unitSide, const std::string& baselineSide);

}  // namespace bench
