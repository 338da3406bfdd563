// Compression: a picture that holds only a 24-bit bitmap, saved to a memory stream (only
// SaveToStream is timed; making the picture and copying the bitmap into it are not), against
// libjpeg-turbo compressing the same bitmap memory with the same parameters (quality 90,
// float DCT, baseline tables, B,G,R input) into 4096-byte blocks.
#include <benchmark/benchmark.h>

#include <cstring>
#include <exception>
#include <string>

#include "bench/bench_cases.h"
#include "bench/case_table.h"
#include "bench/raw_codec.h"
#include "bench/sample_images.h"
#include "bench/unit_support.h"
#include "jpeg/jpeg.h"

namespace bench {
namespace {

constexpr int kWidth = 1920, kHeight = 1080, kQuality = 90;

// The photo-like pixels as a 24-bit bitmap (B,G,R) in the given row order.
std::unique_ptr<TBitmap> SourceBitmap(bool topDown) {
  RawImage image;
  image.width = kWidth;
  image.height = kHeight;
  image.bytesPerPixel = 3;
  image.rowBytes = kWidth * 3;
  image.bottomUp = false;
  const Bytes rgb = MakePhotoPixels(kWidth, kHeight, 3);
  image.pixels.reset(new std::uint8_t[rgb.size()]);
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    image.pixels[i] = rgb[i + 2];
    image.pixels[i + 1] = rgb[i + 1];
    image.pixels[i + 2] = rgb[i];
  }
  return BitmapOf(image, topDown);
}

struct RowGeometry {
  const std::uint8_t* firstRow;
  std::ptrdiff_t stride;
  int rowsPerCall;
};

// What the unit hands the library: one call for top-down rows, one row per call otherwise.
RowGeometry GeometryOf(TBitmap& bitmap) {
  const std::uint8_t* row0 = bitmap.ScanLine(0);
  const std::ptrdiff_t stride = bitmap.ScanLine(1) - row0;
  return {row0, stride, (stride > 0 && stride % 4 == 0) ? bitmap.GetHeight() : 1};
}

RawCompressParams Params() {
  RawCompressParams params;
  params.width = kWidth;
  params.height = kHeight;
  params.quality = kQuality;
  return params;
}

void BM_RawCompress(benchmark::State& state, bool topDown) {
  const auto bitmap = SourceBitmap(topDown);
  const RowGeometry rows = GeometryOf(*bitmap);
  std::size_t produced = 0;
  for (auto _ : state) {
    std::vector<std::uint8_t> out;
    RawCompress(Params(), rows.firstRow, rows.stride, rows.rowsPerCall, out);
    produced = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["jpeg_bytes"] = static_cast<double>(produced);
}

// Saves a new picture holding bitmap; the picture is made and filled off the clock.
void BM_UnitCompress(benchmark::State& state, bool topDown) {
  const auto bitmap = SourceBitmap(topDown);
  TJPEGDefaults options{};
  options.SaveQuality = kQuality;
  JpegDefaultOptions = options;
  try {
    TJPEGImage picture;
    picture.Assign(bitmap.get());
    TMemoryStream unitOut;
    picture.SaveToStream(unitOut);
    if (unitOut.GetSize() == 0) {
      state.SkipWithError("picture unit wrote no JPEG data");
      return;
    }
    const RowGeometry rows = GeometryOf(*bitmap);
    std::vector<std::uint8_t> rawOut;
    RawCompress(Params(), rows.firstRow, rows.stride, rows.rowsPerCall, rawOut);
    const bool same = unitOut.GetSize() == static_cast<std::int64_t>(rawOut.size()) &&
                      std::memcmp(unitOut.Memory(), rawOut.data(), rawOut.size()) == 0;
    state.SetLabel(same ? "" : "bytes differ from baseline");
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto picture = std::make_unique<TJPEGImage>();
    picture->Assign(bitmap.get());
    auto out = std::make_unique<TMemoryStream>();
    state.ResumeTiming();
    picture->SaveToStream(*out);
    state.PauseTiming();
    picture.reset();
    out.reset();
    state.ResumeTiming();
  }
}

}  // namespace

void RegisterCompressCases() {
  for (const bool topDown : {false, true}) {
    const std::string id = topDown ? "compress_topdown_1920x1080" : "compress_bottomup_1920x1080";
    const std::string title = std::string("compress 24-bit 1920x1080 q90, ") +
                              (topDown ? "top-down" : "bottom-up") + " bitmap";
    benchmark::RegisterBenchmark((id + "/unit").c_str(), [topDown](benchmark::State& state) {
      BM_UnitCompress(state, topDown);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((id + "/raw").c_str(), [topDown](benchmark::State& state) {
      BM_RawCompress(state, topDown);
    })->Unit(benchmark::kMillisecond);
    AddCase(title, id + "/unit", id + "/raw", TargetKind::Ratio, 1.03);
  }
}

}  // namespace bench
