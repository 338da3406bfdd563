// Pixel format conversion of TBitmap.
#include <array>
#include <cstring>
#include <vector>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/palette_entries.h"
#include "framework/graphics/screen.h"

namespace {

constexpr PALETTEENTRY Entry(int r, int g, int b) {
  return {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b),
          0};
}

// The palette an indexed format gets when the bitmap has none that fits it: black and white,
// the 16 standard colours, or the halftone palette.
std::vector<PALETTEENTRY> DefaultEntries(TPixelFormat format) {
  if (format == pf1bit) return {Entry(0, 0, 0), Entry(255, 255, 255)};
  if (format == pf4bit) {
    return {Entry(0, 0, 0),       Entry(128, 0, 0),   Entry(0, 128, 0),   Entry(128, 128, 0),
            Entry(0, 0, 128),     Entry(128, 0, 128), Entry(0, 128, 128), Entry(192, 192, 192),
            Entry(128, 128, 128), Entry(255, 0, 0),   Entry(0, 255, 0),   Entry(255, 255, 0),
            Entry(0, 0, 255),     Entry(255, 0, 255), Entry(0, 255, 255), Entry(255, 255, 255)};
  }
  const HDC screen = GetDC(0);
  const HPALETTE halftone = CreateHalftonePalette(screen);
  ReleaseDC(0, screen);
  auto entries = PaletteEntriesOf(halftone);
  DeleteObject(halftone);
  return entries;
}

// Nearest palette entry by squared RGB distance, remembered per colour: pictures repeat colours,
// and a direct-mapped cache keyed by the full colour stays exact.
class NearestEntry {
 public:
  explicit NearestEntry(const std::vector<PALETTEENTRY>& palette) : palette_(palette) {
    cache_.fill(kEmpty);
  }
  std::uint8_t operator()(const std::uint8_t* bgr) {
    const std::uint32_t colour = bgr[0] | std::uint32_t{bgr[1]} << 8 | std::uint32_t{bgr[2]} << 16;
    std::uint32_t& slot = cache_[(colour * 2654435761U) >> (32 - kCacheBits)];
    if ((slot & 0xFFFFFFU) == colour && slot != kEmpty)
      return static_cast<std::uint8_t>(slot >> 24);
    int best = 0;
    int bestDistance = INT32_MAX;
    for (std::size_t i = 0; i < palette_.size(); ++i) {
      const int db = palette_[i].peBlue - bgr[0];
      const int dg = palette_[i].peGreen - bgr[1];
      const int dr = palette_[i].peRed - bgr[2];
      const int distance = db * db + dg * dg + dr * dr;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = static_cast<int>(i);
        if (distance == 0) break;
      }
    }
    slot = colour | static_cast<std::uint32_t>(best) << 24;
    return static_cast<std::uint8_t>(best);
  }

 private:
  static constexpr int kCacheBits = 14;
  // No colour has bits above 24 set while index 255 is stored there, so this never matches.
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFU;
  const std::vector<PALETTEENTRY>& palette_;
  std::array<std::uint32_t, 1U << kCacheBits> cache_{};
};

}  // namespace

void TBitmap::SetPixelFormat(TPixelFormat format) {
  RefuseWhileFilled();
  ConvertPixelFormat(format);
}

void TBitmap::ConvertPixelFormat(TPixelFormat format) {
  if (format == format_) return;
  const int bits = BitsPerPixel(format);
  const bool indexed = bits <= 8;
  const auto oldEntries = PaletteEntriesOf(palette_.get());
  const bool needsPalette = indexed && (oldEntries.empty() || oldEntries.size() > (1U << bits));
  const std::vector<PALETTEENTRY> newEntries = needsPalette ? DefaultEntries(format) : oldEntries;

  PixelBlock pixels = AllocatePixels(width_, height_, format);
  if (pixels) {
    const std::int64_t rowBytes = RowBytesFor(width_, format);
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width_) * 3);
    NearestEntry nearest(newEntries);
    for (int row = 0; row < height_; ++row) {
      RowToBgr(row, oldEntries, bgr.data());
      std::uint8_t* out = pixels.get() + (topDown_ ? row : height_ - 1 - row) * rowBytes;
      for (std::size_t x = 0; x < static_cast<std::size_t>(width_); ++x) {
        const std::uint8_t* pixel = &bgr[3 * x];
        switch (format) {
          case pf1bit:
            out[x >> 3] |= static_cast<std::uint8_t>(nearest(pixel) << (7 - (x & 7)));
            break;
          case pf4bit:
            out[x >> 1] |= static_cast<std::uint8_t>(nearest(pixel) << ((x & 1) ? 0 : 4));
            break;
          case pf8bit:
            out[x] = nearest(pixel);
            break;
          case pf24bit:
            std::memcpy(out + 3 * x, pixel, 3);
            break;
          case pf32bit:
            std::memcpy(out + 4 * x, pixel, 3);
            break;
        }
      }
    }
  }
  if (needsPalette) palette_.reset(CreatePaletteFrom(newEntries));
  ReplaceImage(width_, height_, format, std::move(pixels));
  Changed(this);
}
