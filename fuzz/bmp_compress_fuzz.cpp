// Reads a BMP, then compresses it through a picture with options from the first input byte; with
// its bit 0x20 set the progress handler changes the picture once, at the starting notification
// (a new bitmap) or, with bit 0x01, at the first running one (a new palette, then new data).
#include <optional>
#include <utility>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/palette.h"
#include "fuzz/fuzz_support.h"
#include "jpeg/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t options = data[0];
  const TJPEGDefaults saved = JpegDefaultOptions;
  ExpectOnlyReportedFailures([&] {
    TBitmap bitmap;
    bitmap.LoadFromStream(*StreamOf(data + 1, size - 1));
    JpegDefaultOptions.SaveQuality = static_cast<TJPEGQualityRange>(1 + (options & 0x1F) * 99 / 31);
    JpegDefaultOptions.GrayOutput = (options & 0x40) != 0;
    JpegDefaultOptions.SaveProgressive = (options & 0x80) != 0;
    TJPEGImage picture;
    JpegDefaultOptions = saved;
    picture.Assign(&bitmap);
    std::optional<FastClock> clock;
    const TProgressStage actAt = (options & 1) != 0 ? psRunning : psStarting;
    bool changed = false;
    if ((options & 0x20) != 0) {
      clock.emplace();
      picture.OnProgress = [&](TObject*, TProgressStage stage, std::uint8_t, bool, const TRect&,
                               const AnsiString&) {
        if (stage != actAt || std::exchange(changed, true)) return;
        if (stage == psStarting) {
          TBitmap other;
          other.SetSize(5, 3);
          picture.Assign(&other);
        } else {
          picture.SetPalette(CreateHalftonePalette(0));
          picture.LoadFromStream(*StreamOf(data, size));
        }
      };
    }
    TMemoryStream out;
    picture.SaveToStream(out);
  });
  JpegDefaultOptions = saved;
  return 0;
}
