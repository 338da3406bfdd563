#pragma once
// The comparison table: each case pairs a picture-unit benchmark with the baseline benchmark
// of the same run and states its target. The reporter collects the medians as the benchmarks
// finish and prints one row per case at the end.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

enum class TargetKind {
  Ratio,       // unit <= limit x baseline
  PlusMillis,  // unit <= baseline + limit ms
  Info,        // shown, not judged
};

// Which median a side is judged by: CPU time of the benchmark thread (robust against other
// load on the machine), or wall-clock time (also what a benchmark reports as manual time).
enum class Clock { Cpu, Wall };

struct CaseDefinition {
  std::string name;
  std::string unitBenchmark;
  std::string baselineBenchmark;
  TargetKind kind = TargetKind::Ratio;
  double limit = 1.03;
  Clock unitClock = Clock::Cpu;
  Clock baselineClock = Clock::Cpu;
  std::string note;  // shown in the table after anything the benchmark reported
  // When set, the name of a side-by-side benchmark; unitBenchmark and baselineBenchmark then
  // name two of its sides, and the row shows their medians and the median of their ratios.
  std::string sideBySide{};
  // When set, the unit side is this counter of the unit benchmark (milliseconds), not a clock.
  std::string unitCounter{};
  // When set, a counter of the unit benchmark that says how many cores other processes kept
  // busy while it ran: above busyLimit the row is not judged (the machine was too busy).
  std::string busyCounter{};
  double busyLimit = 0;
};

// A finished row, also the form in which rows measured outside this program are read.
struct TableRow {
  std::string name, unit, baseline, ratio, target, verdict, note;
};

void AddCase(const CaseDefinition& item);
// A case judged by the CPU-time medians of both sides.
void AddCase(std::string name, std::string unitBenchmark, std::string baselineBenchmark,
             TargetKind kind, double limit);

// Rows from a tab-separated file (case, unit, baseline, ratio, target, verdict, note).
std::vector<TableRow> ReadRows(const std::string& path);

class TableReporter : public benchmark::ConsoleReporter {
 public:
  explicit TableReporter(std::vector<TableRow> extraRows) : extraRows_(std::move(extraRows)) {}
  void ReportRuns(const std::vector<Run>& reports) override;
  void Finalize() override;
  // True when every judged row passed.
  bool AllPassed() const { return allPassed_; }

 private:
  struct Measured {
    double realMs = 0, cpuMs = 0;
    std::map<std::string, double> counters;
    bool median = false;
    std::string error, label;
  };
  TableRow MakeRow(const CaseDefinition& item);
  // The median of a counter; sets error (if still empty) when the benchmark has none.
  static double CounterOf(const Measured& measured, const std::string& name, std::string& error);
  std::map<std::string, Measured> measured_;
  std::vector<TableRow> extraRows_;
  bool allPassed_ = true;
};

}  // namespace bench
