// Reads a BMP, then compresses it through a picture with options from the first input byte.
#include "framework/graphics/bitmap.h"
#include "fuzz/fuzz_support.h"
#include "jpeg/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t options = data[0];
  const TJPEGDefaults saved = JpegDefaultOptions;
  ExpectOnlyReportedFailures([&] {
    TBitmap bitmap;
    auto stream = StreamOf(data + 1, size - 1);
    bitmap.LoadFromStream(*stream);
    JpegDefaultOptions.SaveQuality = static_cast<TJPEGQualityRange>(1 + (options & 0x3F) * 99 / 63);
    JpegDefaultOptions.GrayOutput = (options & 0x40) != 0;
    JpegDefaultOptions.SaveProgressive = (options & 0x80) != 0;
    TJPEGImage picture;
    JpegDefaultOptions = saved;
    picture.Assign(&bitmap);
    TMemoryStream out;
    picture.SaveToStream(out);
  });
  JpegDefaultOptions = saved;
  return 0;
}
