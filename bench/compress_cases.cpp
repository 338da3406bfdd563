// Compression: a picture that holds only a 24-bit bitmap, saved to a memory stream (only
// SaveToStream is timed; making the picture and copying the bitmap into it are not), against
// libjpeg-turbo compressing the same bitmap memory with the same parameters (quality 90,
// float DCT, baseline tables, B,G,R input) into 4096-byte blocks.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench/bench_cases.h"
#include "bench/case_table.h"
#include "bench/raw_codec.h"
#include "bench/sample_images.h"
#include "bench/side_by_side.h"
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

void UseSaveOptions() {
  TJPEGDefaults options{};
  options.SaveQuality = kQuality;
  JpegDefaultOptions = options;
}

// One save outside the clock: it tells whether the unit works yet and whether it writes the
// baseline's bytes (so the two sides really do the same work).
std::string CheckSameBytes(TBitmap& bitmap) {
  TJPEGImage picture;
  picture.Assign(&bitmap);
  TMemoryStream unitOut;
  picture.SaveToStream(unitOut);
  if (unitOut.GetSize() == 0) throw std::runtime_error("picture unit wrote no JPEG data");
  const RowGeometry rows = GeometryOf(bitmap);
  std::vector<std::uint8_t> rawOut;
  RawCompress(Params(), rows.firstRow, rows.stride, rows.rowsPerCall, rawOut);
  const bool same = unitOut.GetSize() == static_cast<std::int64_t>(rawOut.size()) &&
                    std::memcmp(unitOut.Memory(), rawOut.data(), rawOut.size()) == 0;
  return same ? "" : "bytes differ from baseline";
}

// The sides share the bitmap; it is made on first use, not when registering.
struct CompressState {
  bool topDown = false;
  std::unique_ptr<TBitmap> bitmap;
  std::unique_ptr<TJPEGImage> picture;
  std::unique_ptr<TMemoryStream> out;

  TBitmap& Bitmap() {
    if (!bitmap) bitmap = SourceBitmap(topDown);
    return *bitmap;
  }
};

SideBySide CompressGroup(bool topDown) {
  auto shared = std::make_shared<CompressState>();
  shared->topDown = topDown;
  SideBySide group;
  group.id = topDown ? "compress_topdown_1920x1080" : "compress_bottomup_1920x1080";
  // Only SaveToStream is timed: the picture holding the bitmap and the empty stream are made
  // and destroyed off the clock.
  TimedSide unit{"unit", [shared] { shared->picture->SaveToStream(*shared->out); },
                 [shared] {
                   UseSaveOptions();
                   shared->picture = std::make_unique<TJPEGImage>();
                   shared->picture->Assign(&shared->Bitmap());
                   shared->out = std::make_unique<TMemoryStream>();
                 },
                 [shared] {
                   shared->picture.reset();
                   shared->out.reset();
                 }};
  TimedSide raw{"raw", [shared] {
                  const RowGeometry rows = GeometryOf(shared->Bitmap());
                  std::vector<std::uint8_t> out;
                  RawCompress(Params(), rows.firstRow, rows.stride, rows.rowsPerCall, out);
                  benchmark::DoNotOptimize(out.data());
                }};
  group.sides = {std::move(unit), std::move(raw)};
  group.rows = {{std::string("compress 24-bit 1920x1080 q90, ") +
                     (topDown ? "top-down" : "bottom-up") + " bitmap",
                 "unit", "raw", TargetKind::Ratio, 1.03}};
  group.check = [shared] {
    UseSaveOptions();
    return CheckSameBytes(shared->Bitmap());
  };
  return group;
}

}  // namespace

void RegisterCompressCases() {
  for (const bool topDown : {false, true}) RegisterSideBySide(CompressGroup(topDown));
}

}  // namespace bench
