// Drawing a decoded 4000 x 3000 bitmap into a 105 x 105 tile (area-averaging), as the launcher
// does for every cover, against the raw decode of that file measured in the same run.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/bench_cases.h"
#include "bench/case_table.h"
#include "bench/raw_codec.h"
#include "bench/sample_images.h"
#include "bench/side_by_side.h"
#include "bench/unit_support.h"
#include "framework/graphics/canvas.h"

namespace bench {
namespace {

constexpr int kTile = 105;

// The bitmap the picture unit would hold for that file: 24-bit, bottom-up; made on first use.
struct StretchState {
  std::unique_ptr<TBitmap> bitmap;
  std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kTile * kTile);
  TCanvas canvas{TSurface{pixels.data(), kTile, kTile, kTile}};
};

const SampleFile kFile{SampleKind::Baseline, 4000, 3000};

}  // namespace

void RegisterStretchCase() {
  auto shared = std::make_shared<StretchState>();
  const TRect tile{0, 0, kTile, kTile};
  SideBySide group;
  group.id = "stretch_4000x3000_to_105";
  group.sides = {{"unit",
                  [shared, tile] {
                    shared->canvas.StretchDraw(tile, shared->bitmap.get());
                    benchmark::DoNotOptimize(shared->pixels.data());
                    benchmark::ClobberMemory();
                  }},
                 // Judged against the decode of the same file.
                 {"raw_decode", [] {
                    const Bytes& file = Sample(kFile);
                    RawImage image = RawDecode(file.data(), file.size(), Decode24());
                    benchmark::DoNotOptimize(image.pixels.get());
                  }}};
  group.rows = {
      {"StretchDraw 4000x3000 -> 105x105", "unit", "raw_decode", TargetKind::Ratio, 0.10}};
  group.check = [shared, tile] {
    const Bytes& file = Sample(kFile);
    shared->bitmap = BitmapOf(RawDecode(file.data(), file.size(), Decode24()), false);
    shared->canvas.StretchDraw(tile, shared->bitmap.get());
    return std::string();
  };
  RegisterSideBySide(std::move(group));
}

}  // namespace bench
