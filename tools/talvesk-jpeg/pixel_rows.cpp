#include "tools/talvesk-jpeg/pixel_rows.h"

#include <utility>

PixelRows::PixelRows(TBitmap& bitmap) : bitmap_(&bitmap) {
  if (bitmap.GetPixelFormat() != pf8bit && bitmap.GetPixelFormat() != pf24bit) {
    converted_ = std::make_unique<TBitmap>();
    converted_->Assign(&bitmap);
    converted_->SetPixelFormat(pf24bit);
    bitmap_ = converted_.get();
  }
  width_ = bitmap_->GetWidth();
  height_ = bitmap_->GetHeight();
  if (bitmap_->GetPixelFormat() == pf8bit) {
    PALETTEENTRY entries[256] = {};
    const unsigned count = GetPaletteEntries(bitmap_->GetPalette(), 0, 256, entries);
    for (unsigned i = 0; i < count; ++i) {
      palette_[3 * i] = entries[i].peRed;
      palette_[3 * i + 1] = entries[i].peGreen;
      palette_[3 * i + 2] = entries[i].peBlue;
    }
  }
}

bool PixelRows::Gray() {
  if (gray_ >= 0) return gray_ == 1;
  const auto isGray = [](const std::uint8_t* pixel) {
    return pixel[0] == pixel[1] && pixel[1] == pixel[2];
  };
  gray_ = 1;
  if (bitmap_->GetPixelFormat() == pf8bit) {
    for (std::size_t i = 0; i < palette_.size() && gray_ == 1; i += 3) {
      if (!isGray(&palette_[i])) gray_ = 0;
    }
    return gray_ == 1;
  }
  for (int y = 0; y < height_ && gray_ == 1; ++y) {
    const std::uint8_t* row = std::as_const(*bitmap_).ScanLine(y);
    for (int x = 0; x < width_; ++x) {
      if (!isGray(row + 3 * x)) {
        gray_ = 0;
        break;
      }
    }
  }
  return gray_ == 1;
}

void PixelRows::Row(int y, bool gray, std::uint8_t* out) const {
  const std::uint8_t* row = std::as_const(*bitmap_).ScanLine(y);
  const bool indexed = bitmap_->GetPixelFormat() == pf8bit;
  for (int x = 0; x < width_; ++x) {
    // R,G,B of the pixel: from the palette, or the bitmap's B,G,R reversed.
    const std::uint8_t* colour = indexed ? &palette_[3 * row[x]] : row + 3 * x;
    const int red = indexed ? 0 : 2;
    if (gray) {
      *out++ = colour[1];
    } else {
      *out++ = colour[red];
      *out++ = colour[1];
      *out++ = colour[2 - red];
    }
  }
}

void StartBitmap(TBitmap& bitmap, int width, int height) {
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSizeUncleared(width, height);
}

void StoreRow(TBitmap& bitmap, int y, const std::uint8_t* pixels, bool gray) {
  std::uint8_t* row = bitmap.ScanLine(y);
  const int width = bitmap.GetWidth();
  for (int x = 0; x < width; ++x, row += 3) {
    if (gray) {
      row[0] = row[1] = row[2] = pixels[x];
    } else {
      row[0] = pixels[3 * x + 2];
      row[1] = pixels[3 * x + 1];
      row[2] = pixels[3 * x];
    }
  }
}
