// Drawing a decoded 4000 x 3000 bitmap into a 105 x 105 tile (area-averaging), as the launcher
// does for every cover, against the raw decode of that file measured in the same run.
#include <benchmark/benchmark.h>

#include <exception>
#include <vector>

#include "bench/bench_cases.h"
#include "bench/case_table.h"
#include "bench/raw_codec.h"
#include "bench/sample_images.h"
#include "bench/unit_support.h"
#include "framework/graphics/canvas.h"

namespace bench {
namespace {

constexpr int kTile = 105;

void BM_StretchDraw(benchmark::State& state) {
  const Bytes& file = Sample({SampleKind::Baseline, 4000, 3000});
  std::unique_ptr<TBitmap> bitmap;
  try {
    // The bitmap the picture unit would hold: 24-bit, bottom-up.
    bitmap = BitmapOf(RawDecode(file.data(), file.size(), Decode24()), false);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  std::vector<std::uint32_t> pixels(kTile * kTile);
  TCanvas canvas(TSurface{pixels.data(), kTile, kTile, kTile});
  const TRect tile{0, 0, kTile, kTile};
  try {
    canvas.StretchDraw(tile, bitmap.get());
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  for (auto _ : state) {
    canvas.StretchDraw(tile, bitmap.get());
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
}

}  // namespace

void RegisterStretchCase() {
  benchmark::RegisterBenchmark("stretch_4000x3000_to_105/unit", BM_StretchDraw)
      ->Unit(benchmark::kMillisecond);
  // Judged against the decode of the same file (registered with the decode cases).
  AddCase("StretchDraw 4000x3000 -> 105x105", "stretch_4000x3000_to_105/unit",
          "decode24_4000x3000/raw", TargetKind::Ratio, 0.10);
}

}  // namespace bench
