#include "bench/case_table.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "bench/side_by_side.h"

namespace bench {
namespace {

std::vector<CaseDefinition>& Cases() {
  static std::vector<CaseDefinition> cases;
  return cases;
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

double ToMillis(double value, benchmark::TimeUnit unit) {
  switch (unit) {
    case benchmark::kNanosecond:
      return value / 1e6;
    case benchmark::kMicrosecond:
      return value / 1e3;
    case benchmark::kMillisecond:
      return value;
    case benchmark::kSecond:
      return value * 1e3;
  }
  return value;
}

void PrintTable(const std::vector<TableRow>& rows) {
  const std::vector<std::string> header = {"case",   "picture unit", "baseline", "ratio",
                                           "target", "result",       "note"};
  std::vector<std::size_t> widths(header.size());
  auto fields = [](const TableRow& r) {
    return std::vector<std::string>{r.name,   r.unit,    r.baseline, r.ratio,
                                    r.target, r.verdict, r.note};
  };
  for (std::size_t i = 0; i < header.size(); ++i) widths[i] = header[i].size();
  for (const auto& row : rows) {
    const auto f = fields(row);
    for (std::size_t i = 0; i < f.size(); ++i) widths[i] = std::max(widths[i], f[i].size());
  }
  auto line = [&](const std::vector<std::string>& f) {
    std::string text = "|";
    for (std::size_t i = 0; i < f.size(); ++i)
      text += " " + f[i] + std::string(widths[i] - f[i].size(), ' ') + " |";
    std::printf("%s\n", text.c_str());
  };
  line(header);
  std::vector<std::string> rule;
  for (std::size_t w : widths) rule.push_back(std::string(w, '-'));
  line(rule);
  for (const auto& row : rows) line(fields(row));
}

}  // namespace

void AddCase(const CaseDefinition& item) { Cases().push_back(item); }

void AddCase(std::string name, std::string unitBenchmark, std::string baselineBenchmark,
             TargetKind kind, double limit) {
  CaseDefinition item;
  item.name = std::move(name);
  item.unitBenchmark = std::move(unitBenchmark);
  item.baselineBenchmark = std::move(baselineBenchmark);
  item.kind = kind;
  item.limit = limit;
  AddCase(item);
}

std::vector<TableRow> ReadRows(const std::string& path) {
  std::vector<TableRow> rows;
  std::ifstream in(path);
  std::string text;
  while (std::getline(in, text)) {
    if (text.empty()) continue;
    std::vector<std::string> f;
    std::stringstream fields(text);
    std::string field;
    while (std::getline(fields, field, '\t')) f.push_back(field);
    f.resize(7);
    rows.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6]});
  }
  return rows;
}

void TableReporter::ReportRuns(const std::vector<Run>& reports) {
  ConsoleReporter::ReportRuns(reports);
  for (const Run& run : reports) {
    Measured& m = measured_[run.run_name.function_name];
    if (run.error_occurred) {
      m.error = run.error_message;
      continue;
    }
    if (!run.report_label.empty()) m.label = run.report_label;
    const bool isMedian = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
    // Medians win; without repetitions the single run stands in.
    if (isMedian || (!m.median && run.run_type == Run::RT_Iteration)) {
      m.realMs = ToMillis(run.GetAdjustedRealTime(), run.time_unit);
      m.cpuMs = ToMillis(run.GetAdjustedCPUTime(), run.time_unit);
      m.counters.clear();
      for (const auto& [name, counter] : run.counters) m.counters[name] = counter.value;
      m.median = isMedian;
    }
  }
}

double TableReporter::CounterOf(const Measured& measured, const std::string& name,
                                std::string& error) {
  const auto found = measured.counters.find(name);
  if (found != measured.counters.end()) return found->second;
  if (error.empty()) error = "no counter " + name;
  return 0.0;
}

TableRow TableReporter::MakeRow(const CaseDefinition& item) {
  // Rows are built from whole strings (no assignments of literals, which GCC 12 warns about
  // wrongly at -O3).
  std::string target = item.kind == TargetKind::Ratio ? Format("<= %.2f x", item.limit)
                       : item.kind == TargetKind::PlusMillis
                           ? Format("<= base + %.0f ms", item.limit)
                           : std::string("(info)");
  double unitMs = 0, baseMs = 0, ratio = 0, busyCores = 0;
  std::string error, label;
  if (!item.sideBySide.empty()) {
    const auto group = measured_.find(item.sideBySide);
    if (group == measured_.end())
      return TableRow{item.name, "-", "-", "-", std::move(target), "not run", ""};
    const Measured& g = group->second;
    error = g.error;
    label = g.label;
    const auto counter = [&g, &error](const std::string& name) {
      return CounterOf(g, name, error);
    };
    if (error.empty()) {
      unitMs = counter(SideMillisCounter(item.unitBenchmark));
      baseMs = counter(SideMillisCounter(item.baselineBenchmark));
      ratio = counter(SideRatioCounter(item.unitBenchmark, item.baselineBenchmark));
    }
  } else {
    const auto unit = measured_.find(item.unitBenchmark);
    const auto base = measured_.find(item.baselineBenchmark);
    if (unit == measured_.end() || base == measured_.end())
      return TableRow{item.name, "-", "-", "-", std::move(target), "not run", ""};
    const Measured& u = unit->second;
    const Measured& b = base->second;
    error = u.error.empty() ? b.error : u.error;
    label = u.label;
    unitMs = item.unitClock == Clock::Wall ? u.realMs : u.cpuMs;
    if (!item.unitCounter.empty()) unitMs = CounterOf(u, item.unitCounter, error);
    baseMs = item.baselineClock == Clock::Wall ? b.realMs : b.cpuMs;
    ratio = baseMs > 0 ? unitMs / baseMs : 0.0;
    if (!item.busyCounter.empty() && error.empty()) {
      busyCores = CounterOf(u, item.busyCounter, error);
    }
  }
  if (!error.empty()) {
    if (item.kind != TargetKind::Info) allPassed_ = false;
    return TableRow{item.name, "n/a", "n/a", "-", std::move(target), "n/a", std::move(error)};
  }
  bool pass = true;
  if (item.kind == TargetKind::Ratio) pass = ratio <= item.limit;
  if (item.kind == TargetKind::PlusMillis) pass = unitMs <= baseMs + item.limit;
  const bool busy = !item.busyCounter.empty() && busyCores > item.busyLimit;
  if (!pass && !busy && item.kind != TargetKind::Info) allPassed_ = false;
  std::string note = std::move(label);
  if (!item.note.empty()) note += note.empty() ? item.note : "; " + item.note;
  if (!item.busyCounter.empty()) {
    note += Format(busy ? "; NOT JUDGED: other processes kept %.2f cores busy"
                        : "; other processes: %.2f cores",
                   busyCores);
  }
  std::string verdict = item.kind == TargetKind::Info ? "-" : (pass ? "pass" : "FAIL");
  if (busy) verdict = "busy";
  return TableRow{item.name,
                  Format("%.2f ms", unitMs),
                  Format("%.2f ms", baseMs),
                  Format("%.3f", ratio),
                  std::move(target),
                  std::move(verdict),
                  std::move(note)};
}

void TableReporter::Finalize() {
  ConsoleReporter::Finalize();
  std::vector<TableRow> rows;
  for (const CaseDefinition& item : Cases()) rows.push_back(MakeRow(item));
  for (const TableRow& extra : extraRows_) {
    rows.push_back(extra);
    if (extra.verdict != "pass" && extra.verdict != "-") allPassed_ = false;
  }
  std::printf(
      "\nMedians of the CPU time per operation (wall clock where noted). Ratio: the median over "
      "the repetitions\nof picture unit / baseline timed side by side; for the launcher, of "
      "the medians. A row marked busy\nwas not judged: other processes kept the machine busy "
      "while it was measured.\n\n");
  PrintTable(rows);
  std::fflush(stdout);
}

}  // namespace bench
