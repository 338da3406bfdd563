// Loads and decodes a JPEG with options taken from the first two input bytes; the progress
// handler may cancel at a chosen notification.
#include "framework/graphics/palette.h"
#include "fuzz/fuzz_support.h"
#include "jpeg/jpeg.h"

namespace {
// Large pictures cost seconds each and find nothing new (their bounds have tests of their own);
// the fuzzer explores many more files when they are skipped.
constexpr std::int64_t kMaxFuzzedPixels = std::int64_t{1} << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t options = data[0];
  const std::uint8_t cancelAt = data[1];
  data += 2;
  size -= 2;

  const TJPEGDefaults saved = JpegDefaultOptions;
  JpegDefaultOptions.BitmapDepth = (options & 1) ? bd8Bit : bd24Bit;
  JpegDefaultOptions.GrayOutput = (options & 2) != 0;
  JpegDefaultOptions.ShrinkFactor = static_cast<TJPEGScale>((options >> 2) & 3);
  JpegDefaultOptions.DecodeSpeed = (options & 16) ? dsBestSpeed : dsBestQuality;
  JpegDefaultOptions.BlockSmoothing = (options & 32) != 0;
  JpegDefaultOptions.ShowWhileLoading = (options & 64) != 0;
  const bool holdPalette = (options & 128) != 0;

  {
    TJPEGImage picture;
    JpegDefaultOptions = saved;
    int notifications = 0;
    picture.OnProgress = [&](TObject*, TProgressStage, std::uint8_t, bool, const TRect&,
                             const AnsiString&) {
      if (cancelAt != 0 && ++notifications == cancelAt) Abort();
    };
    bool large = false;
    ExpectOnlyReportedFailures([&] {
      auto stream = StreamOf(data, size);
      picture.LoadFromStream(*stream);
      if (holdPalette) picture.SetPalette(CreateHalftonePalette(0));
      large = std::int64_t{picture.GetWidth()} * picture.GetHeight() > kMaxFuzzedPixels;
      if (!large) GetDecodedBitmap(picture);
    });
    // A second request returns what the first one left, without failing again.
    if (!large) ExpectOnlyReportedFailures([&] { GetDecodedBitmap(picture); });
  }
  JpegDefaultOptions = saved;
  return 0;
}
