#include "bench/unit_support.h"

#include <cstring>

namespace bench {

std::unique_ptr<TMemoryStream> StreamOf(const Bytes& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  stream->SetPosition(0);
  return stream;
}

std::unique_ptr<TBitmap> BitmapOf(const RawImage& image, bool topDown) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetTopDown(topDown);
  bitmap->SetSize(image.width, image.height);
  const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
  for (int y = 0; y < image.height; ++y) std::memcpy(bitmap->ScanLine(y), image.Row(y), rowBytes);
  return bitmap;
}

std::string CompareWithBaseline(TBitmap& bitmap, const RawImage& image) {
  if (bitmap.GetWidth() != image.width || bitmap.GetHeight() != image.height)
    return "size differs from baseline";
  const int bits = BitsPerPixel(bitmap.GetPixelFormat());
  if (bits != image.bytesPerPixel * 8) return "pixel format differs from baseline";
  const std::size_t rowBytes = static_cast<std::size_t>(image.width) * image.bytesPerPixel;
  for (int y = 0; y < image.height; ++y)
    if (std::memcmp(bitmap.ScanLine(y), image.Row(y), rowBytes) != 0)
      return "pixels differ from baseline (row " + std::to_string(y) + ")";
  return {};
}

}  // namespace bench
