// Reads a picture file as talvesk-jpeg encode reads its input (BMP, PPM/PGM or PNG, told apart by
// its first bytes), then writes it as the Netpbm and PNG files decode writes.
#include "framework/graphics/bitmap.h"
#include "fuzz/fuzz_support.h"
#include "tools/talvesk-jpeg/picture_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ExpectOnlyReportedFailures([&] {
    TBitmap bitmap;
    ReadPicture(bitmap, *StreamOf(data, size));
    // Writing a picture of many megapixels teaches the fuzzer nothing the small ones do not.
    if (std::int64_t{bitmap.GetWidth()} * bitmap.GetHeight() > (1 << 20)) return;
    for (const PictureFormat format : {PictureFormat::Pnm, PictureFormat::Png}) {
      TMemoryStream out;
      WritePicture(bitmap, format, out);
    }
  });
  return 0;
}
