// Loads and decodes a JPEG with options taken from the first two input bytes; the progress
// handler may cancel at a chosen notification.
#include "fuzz/fuzz_support.h"
#include "framework/graphics/palette.h"
#include "jpeg/jpeg.h"

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
    ExpectOnlyReportedFailures([&] {
      auto stream = StreamOf(data, size);
      picture.LoadFromStream(*stream);
      if (holdPalette) picture.SetPalette(CreateHalftonePalette(0));
      (void)picture.GetWidth();
      (void)picture.GetHeight();
      GetDecodedBitmap(picture);
    });
    // A second request returns what the first one left, without failing again.
    ExpectOnlyReportedFailures([&] { GetDecodedBitmap(picture); });
  }
  JpegDefaultOptions = saved;
  return 0;
}
