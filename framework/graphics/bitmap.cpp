#include "framework/graphics/bitmap.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <typeinfo>

#include "framework/graphics/palette_entries.h"
#include "framework/graphics/pixel_memory.h"
#include "framework/system/exceptions.h"

namespace {

[[noreturn]] void OutOfResources() { throw EOutOfResources("Out of system resources"); }

int liveBitmaps = 0;  // the GUI thread is the only one
}  // namespace

TBitmap::TBitmap() { ++liveBitmaps; }
TBitmap::~TBitmap() { --liveBitmaps; }
int TBitmap::LiveCount() { return liveBitmaps; }

const TGraphicClass& TBitmap::Class() {
  static const TGraphicClass bitmapClass{
      "TBitmap", []() -> std::unique_ptr<TGraphic> { return std::make_unique<TBitmap>(); }};
  return bitmapClass;
}

TBitmap::TFillScope::TFillScope(TBitmap& bitmap) : bitmap_(bitmap) {
  bitmap_.fillScopes_.fetch_add(1, std::memory_order_acq_rel);
}

TBitmap::TFillScope::~TFillScope() { bitmap_.fillScopes_.fetch_sub(1, std::memory_order_acq_rel); }

void TBitmap::RefuseWhileFilled() const {
  if (BeingFilled())
    throw EInvalidGraphicOperation("Cannot change a bitmap while it is being filled");
}

void TBitmap::ScanLineOutOfRange(int row) {
  throw EInvalidGraphicOperation("Scan line index out of range (" + std::to_string(row) + ")");
}

TBitmap::PixelBlock TBitmap::AllocatePixels(int width, int height, TPixelFormat format,
                                            bool zeroed) {
  if (width < 0 || height < 0) throw EInvalidGraphicOperation("Invalid bitmap size");
  if (width == 0 || height == 0) return nullptr;
  // 64-bit arithmetic, and the bound is checked by division so the product cannot overflow.
  const std::int64_t rowBytes = RowBytesFor(width, format);
  if (rowBytes > kMaxPixelBytes / height) OutOfResources();
  return NewPixelBlock(static_cast<std::size_t>(rowBytes * height), zeroed);
}

TBitmap::PixelBlock TBitmap::CopyPixels() const {
  if (!pixels_) return nullptr;
  const auto bytes = static_cast<std::size_t>(RowBytes() * height_);
  PixelBlock copy = NewPixelBlock(bytes, false);
  std::memcpy(copy.get(), pixels_.get(), bytes);
  return copy;
}

void TBitmap::Unshare() {
  if (pixels_.use_count() > 1) pixels_ = CopyPixels();
}

std::uint8_t* TBitmap::PrepareRowForWriting(int row) {
  if (static_cast<unsigned>(row) >= static_cast<unsigned>(height_)) ScanLineOutOfRange(row);
  Unshare();
  writableRows_ = height_;
  return RowAddress(row);
}

void TBitmap::ReplaceImage(int width, int height, TPixelFormat format, PixelBlock pixels) {
  pixels_ = std::move(pixels);
  writableRows_ = 0;
  width_ = pixels_ ? width : std::max(width, 0);
  height_ = pixels_ ? height : std::max(height, 0);
  format_ = format;
}

void TBitmap::Assign(TPersistent* source) {
  RefuseWhileFilled();
  if (source == nullptr) {
    SetHandle(0);
    return;
  }
  auto* other = dynamic_cast<TBitmap*>(source);
  if (other == nullptr) {
    TGraphic::Assign(source);
    return;
  }
  if (other == this) return;
  PixelBlock pixels = other->writableRows_ != 0 ? other->CopyPixels() : other->pixels_;
  OwnedPalette palette(other->palette_ ? CopyPalette(other->palette_.get()) : 0);
  ReplaceImage(other->width_, other->height_, other->format_, std::move(pixels));
  topDown_ = other->topDown_;
  palette_ = std::move(palette);
  xPelsPerMeter_ = other->xPelsPerMeter_;
  yPelsPerMeter_ = other->yPelsPerMeter_;
  PaletteModified = true;
  Changed(this);
}

void TBitmap::AssignTo(TPersistent* dest) { TGraphic::AssignTo(dest); }

void TBitmap::SetHandle(std::uintptr_t handle) {
  RefuseWhileFilled();
  if (handle != 0) throw EInvalidGraphicOperation("Bitmap handles other than 0 are not supported");
  ReplaceImage(0, 0, format_, nullptr);
  Changed(this);
}

void TBitmap::SetSize(int width, int height) {
  RefuseWhileFilled();
  if (width == width_ && height == height_) return;
  PixelBlock pixels = AllocatePixels(width, height, format_);
  if (pixels && pixels_) {
    const std::int64_t newRowBytes = RowBytesFor(width, format_);
    const std::int64_t keptBits = std::int64_t{std::min(width, width_)} * BitsPerPixel(format_);
    const auto wholeBytes = static_cast<std::size_t>(keptBits / 8);
    const int partialBits = static_cast<int>(keptBits % 8);
    for (int row = 0; row < std::min(height, height_); ++row) {
      const std::uint8_t* from = RowAddress(row);
      std::uint8_t* to = pixels.get() + (topDown_ ? row : height - 1 - row) * newRowBytes;
      std::memcpy(to, from, wholeBytes);
      // Pixels of 1 and 4 bits fill a byte from its high end.
      if (partialBits != 0) to[wholeBytes] = from[wholeBytes] & (0xFF << (8 - partialBits));
    }
  }
  ReplaceImage(width, height, format_, std::move(pixels));
  Changed(this);
}

void TBitmap::SetSizeUncleared(int width, int height) {
  RefuseWhileFilled();
  ReplaceUncleared(width, height);
}

void TBitmap::ReplaceUncleared(int width, int height) {
  PixelBlock pixels = AllocatePixels(width, height, format_, false);
  if (pixels) {
    // Padding is never written by pixel writers but is saved with the rows.
    const std::int64_t rowBytes = RowBytesFor(width, format_);
    const std::int64_t usedBytes = (std::int64_t{width} * BitsPerPixel(format_) + 7) / 8;
    if (usedBytes < rowBytes) {
      for (std::int64_t row = 0; row < height; ++row) {
        std::memset(pixels.get() + row * rowBytes + usedBytes, 0,
                    static_cast<std::size_t>(rowBytes - usedBytes));
      }
    }
  }
  ReplaceImage(width, height, format_, std::move(pixels));
  Changed(this);
}

void TBitmap::SetTopDown(bool topDown) {
  RefuseWhileFilled();
  if (topDown == topDown_) return;
  Unshare();
  const auto rowBytes = static_cast<std::size_t>(RowBytes());
  std::uint8_t* pixels = pixels_.get();
  for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(pixels + top * rowBytes, pixels + (top + 1) * rowBytes,
                     pixels + bottom * rowBytes);
  }
  topDown_ = topDown;
}

void TBitmap::ChangePalette(HPALETTE palette) {
  if (palette == palette_.get()) return;
  palette_.reset(palette);
  PaletteModified = true;
  Changed(this);
}

TColor TBitmap::PaletteColor(int index) const {
  PALETTEENTRY entry{};
  if (index < 0 ||
      GetPaletteEntries(palette_.get(), static_cast<unsigned>(index), 1, &entry) != 1) {
    return clBlack;
  }
  return RGB(entry.peRed, entry.peGreen, entry.peBlue);
}

void TBitmap::RowToBgr(int row, const std::vector<PALETTEENTRY>& palette, std::uint8_t* bgr) const {
  const std::uint8_t* line = RowAddress(row);
  const auto width = static_cast<std::size_t>(width_);
  const auto lookUp = [&](unsigned index, std::uint8_t* out) {
    if (index < palette.size()) {
      out[0] = palette[index].peBlue;
      out[1] = palette[index].peGreen;
      out[2] = palette[index].peRed;
    } else {
      out[0] = out[1] = out[2] = 0;
    }
  };
  switch (format_) {
    case pf1bit:
      for (std::size_t x = 0; x < width; ++x)
        lookUp((line[x >> 3] >> (7 - (x & 7))) & 1U, bgr + 3 * x);
      break;
    case pf4bit:
      for (std::size_t x = 0; x < width; ++x)
        lookUp((line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xFU, bgr + 3 * x);
      break;
    case pf8bit:
      for (std::size_t x = 0; x < width; ++x) lookUp(line[x], bgr + 3 * x);
      break;
    case pf24bit:
      std::memcpy(bgr, line, width * 3);
      break;
    case pf32bit:
      for (std::size_t x = 0; x < width; ++x) std::memcpy(bgr + 3 * x, line + 4 * x, 3);
      break;
  }
}

bool TBitmap::Equals(TGraphic* other) {
  auto* bitmap = dynamic_cast<TBitmap*>(other);
  if (bitmap == nullptr || typeid(*this) != typeid(*other)) return false;
  if (bitmap == this) return true;
  if (width_ != bitmap->width_ || height_ != bitmap->height_ || format_ != bitmap->format_) {
    return false;
  }
  const auto mine = PaletteEntriesOf(palette_.get());
  const auto theirs = PaletteEntriesOf(bitmap->palette_.get());
  const auto sameEntry = [](const PALETTEENTRY& a, const PALETTEENTRY& b) {
    return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
  };
  if (!std::equal(mine.begin(), mine.end(), theirs.begin(), theirs.end(), sameEntry)) return false;
  // Only the bits that hold pixels count; the row padding may hold anything.
  const std::int64_t bits = std::int64_t{width_} * BitsPerPixel(format_);
  const auto wholeBytes = static_cast<std::size_t>(bits / 8);
  const int partialBits = static_cast<int>(bits % 8);
  const std::uint8_t partialMask = static_cast<std::uint8_t>(0xFF << (8 - partialBits));
  for (int row = 0; row < height_; ++row) {
    const std::uint8_t* a = RowAddress(row);
    const std::uint8_t* b = bitmap->RowAddress(row);
    if (wholeBytes > 0 && std::memcmp(a, b, wholeBytes) != 0) return false;
    if (partialBits != 0 && ((a[wholeBytes] ^ b[wholeBytes]) & partialMask) != 0) return false;
  }
  return true;
}
