#include "bench/side_by_side.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <ctime>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace bench {
namespace {

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt;
}

void Run(benchmark::State& state, const SideBySide& group) {
  try {
    if (group.check) state.SetLabel(group.check());
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  const std::size_t count = group.sides.size();
  std::vector<double> seconds(count, 0.0);
  std::vector<long> faults(count, 0);
  std::size_t first = 0;
  for (auto _ : state) {
    // Rotating the order spreads the effect of running right after another side (warm
    // caches, memory just freed) over all sides.
    for (std::size_t k = 0; k < count; ++k) {
      const TimedSide& side = group.sides[(first + k) % count];
      if (side.prepare) side.prepare();
      const long faultsBefore = MinorFaults();
      const double start = ThreadCpuSeconds();
      side.run();
      seconds[(first + k) % count] += ThreadCpuSeconds() - start;
      faults[(first + k) % count] += MinorFaults() - faultsBefore;
      if (side.cleanup) side.cleanup();
    }
    first = (first + 1) % count;
  }
  const auto runs = static_cast<double>(state.iterations());
  for (std::size_t i = 0; i < count; ++i) {
    state.counters[SideMillisCounter(group.sides[i].name)] = seconds[i] * 1e3 / runs;
    state.counters[group.sides[i].name + "_faults"] = static_cast<double>(faults[i]) / runs;
  }
  for (const SideComparison& row : group.rows) {
    double unit = 0, baseline = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (group.sides[i].name == row.unitSide) unit = seconds[i];
      if (group.sides[i].name == row.baselineSide) baseline = seconds[i];
    }
    state.counters[SideRatioCounter(row.unitSide, row.baselineSide)] =
        baseline > 0 ? unit / baseline : 0.0;
  }
}

}  // namespace

std::string SideMillisCounter(const std::string& side) { return side + "_ms"; }

std::string SideRatioCounter(const std::string& unitSide, const std::string& baselineSide) {
  return unitSide + "/" + baselineSide;
}

void RegisterSideBySide(SideBySide group) {
  for (const SideComparison& row : group.rows) {
    CaseDefinition item;
    item.name = row.title;
    item.sideBySide = group.id;
    item.unitBenchmark = row.unitSide;
    item.baselineBenchmark = row.baselineSide;
    item.kind = row.kind;
    item.limit = row.limit;
    AddCase(item);
  }
  auto shared = std::make_shared<const SideBySide>(std::move(group));
  benchmark::RegisterBenchmark(shared->id.c_str(), [shared](benchmark::State& state) {
    Run(state, *shared);
  })->Unit(benchmark::kMillisecond);
}

}  // namespace bench
