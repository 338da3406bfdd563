#pragma once
// A device-independent bitmap in memory, laid out as Windows lays out a DIB: rows padded to
// 4 bytes, bottom-up by default (row 0 at the highest address, so ScanLine(1) - ScanLine(0) is
// negative), or top-down. 24-bit pixels are B,G,R; 32-bit pixels B,G,R,X. Indexed formats
// (1, 4, 8 bits) take their colour table from the bitmap's palette.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/graphics/graphic.h"

enum TPixelFormat : std::uint8_t { pf1bit, pf4bit, pf8bit, pf24bit, pf32bit };

constexpr int BitsPerPixel(TPixelFormat format) {
  constexpr int kBits[] = {1, 4, 8, 24, 32};
  return kBits[format];
}

class TBitmap : public TGraphic {
 public:
  // Pixel memory above this is refused with EOutOfResources before anything is allocated.
  static constexpr std::int64_t kMaxPixelBytes = std::int64_t{1} << 30;

  TBitmap();
  ~TBitmap() override;
  const char* ClassName() const override { return "TBitmap"; }
  // Bitmaps alive in the process, so that tests can tell that none leaks.
  static int LiveCount();
  static const TGraphicClass& Class();

  // From another TBitmap: a copy (pixels, format, row order, palette copy). The two share their
  // pixel memory until either writes to it, unless the source has handed out row addresses for
  // writing (its writer may still hold them), in which case the pixels are copied at once.
  void Assign(TPersistent* source) override;

  TPixelFormat GetPixelFormat() const { return format_; }
  // Converts the pixels to the new format. To 24/32 bits the colours are kept exactly; to an
  // indexed format each pixel takes the nearest entry of the palette. A bitmap without a palette,
  // or with more entries than the format can index, first gets the format's standard one:
  // halftone for 8 bits, the 16 standard colours for 4 bits, black and white for 1 bit.
  void SetPixelFormat(TPixelFormat format);
  // Only 0 is meaningful: drops the image (0 x 0) and keeps pixel format, row order and palette.
  void SetHandle(std::uintptr_t handle);
  // Resizes, keeping the pixels that stay inside; new pixels are 0.
  void SetSize(int width, int height);
  // Replaces the image with one of this size whose pixels hold whatever the memory held (only
  // the row padding is zeroed). For a writer about to fill every row, which spares clearing
  // memory that is overwritten anyway; the writer must fill or clear every row it does not reach.
  void SetSizeUncleared(int width, int height);

  bool TopDown() const { return topDown_; }
  // Changes the row order; the image keeps its pixels.
  void SetTopDown(bool topDown);

  // Address of the first byte of a row; EInvalidGraphicOperation for a row outside the image.
  // The writable address gives this bitmap pixel memory of its own first; it stays good for
  // writing until the image is next replaced, resized, reformatted or reordered.
  std::uint8_t* ScanLine(int row) {
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(writableRows_)) {
      return PrepareRowForWriting(row);
    }
    return RowAddress(row);
  }
  const std::uint8_t* ScanLine(int row) const {
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(height_)) ScanLineOutOfRange(row);
    return RowAddress(row);
  }
  // Bytes per row including the padding to 4 bytes.
  std::int64_t RowBytes() const { return RowBytesFor(width_, format_); }
  static std::int64_t RowBytesFor(std::int64_t width, TPixelFormat format) {
    return (width * BitsPerPixel(format) + 31) / 32 * 4;
  }

  // A writer that fills the rows in place (a decode) holds their addresses for a while; for as
  // long as it holds a fill scope, whatever would change the bitmap's size, pixel format, row order
  // or pixel memory (SetSize, SetWidth, SetHeight, SetSizeUncleared, SetHandle, SetPixelFormat,
  // SetTopDown, Assign, loading a BMP or clipboard data) raises EInvalidGraphicOperation, on any
  // thread. Pixels and the palette may still change. The writer reshapes the bitmap through its
  // scope. Scopes are counted, so they may nest.
  class TFillScope {
   public:
    explicit TFillScope(TBitmap& bitmap);
    ~TFillScope();
    TFillScope(const TFillScope&) = delete;
    TFillScope& operator=(const TFillScope&) = delete;
    void SetPixelFormat(TPixelFormat format) { bitmap_.ConvertPixelFormat(format); }
    void SetSizeUncleared(int width, int height) { bitmap_.ReplaceUncleared(width, height); }

   private:
    TBitmap& bitmap_;
  };
  bool BeingFilled() const { return fillScopes_.load(std::memory_order_acquire) > 0; }

  // Resolution read from a BMP file (pixels per metre); 0 when unknown. Written back as read.
  std::int32_t XPelsPerMeter() const { return xPelsPerMeter_; }
  std::int32_t YPelsPerMeter() const { return yPelsPerMeter_; }
  void SetPelsPerMeter(std::int32_t x, std::int32_t y) {
    xPelsPerMeter_ = x;
    yPelsPerMeter_ = y;
  }

  // Palette handle owned by the bitmap (0 for none). SetPalette takes ownership.
  // Colour of an index for indexed formats (black beyond the palette).
  TColor PaletteColor(int index) const;

 protected:
  void RenderStretched(TCanvas& canvas, const TRect& rect) override;
  bool Equals(TGraphic* other) override;
  bool IsEmpty() override { return width_ == 0 || height_ == 0; }
  int QueryHeight() override { return height_; }
  int QueryWidth() override { return width_; }
  HPALETTE QueryPalette() override { return palette_.get(); }
  void ChangeHeight(int value) override { SetSize(width_, value); }
  void ChangeWidth(int value) override { SetSize(value, height_); }
  void ChangePalette(HPALETTE palette) override;
  // A BMP file. Written with a BITMAPINFOHEADER; indexed formats store the palette's entries as
  // the colour table with biClrUsed giving their number. An empty bitmap is no bytes at all.
  void ReadFromStream(TStream& stream) override;
  void WriteToStream(TStream& stream) override;
  void ImportClipboardData(std::uint16_t format, THandle data, HPALETTE palette) override;
  void ExportClipboardData(std::uint16_t& format, THandle& data, HPALETTE& palette) override;
  void AssignTo(TPersistent* dest) override;

 private:
  // Pixel memory, shared by copies of a bitmap until one of them writes.
  using PixelBlock = std::shared_ptr<std::uint8_t[]>;
  [[noreturn]] static void ScanLineOutOfRange(int row);
  std::uint8_t* RowAddress(int row) const {
    return pixels_.get() + (topDown_ ? row : height_ - 1 - row) * RowBytes();
  }
  // ScanLine's slow path: checks the row and makes the pixel memory this bitmap's own.
  std::uint8_t* PrepareRowForWriting(int row);
  // Gives this bitmap pixel memory that no other bitmap shares, keeping the pixels.
  void Unshare();
  // Memory for an image of this size and format, zeroed when asked; EOutOfResources above
  // kMaxPixelBytes.
  static PixelBlock AllocatePixels(int width, int height, TPixelFormat format, bool zeroed = true);
  // A new block holding a copy of this bitmap's pixels.
  PixelBlock CopyPixels() const;
  void ReplaceImage(int width, int height, TPixelFormat format, PixelBlock pixels);
  // A device-independent bitmap (with or without the BMP file header); the image is replaced only
  // when the whole DIB was valid. EInvalidGraphic otherwise.
  void LoadDib(TStream& stream, bool withFileHeader);
  void SaveDib(TStream& stream, bool withFileHeader) const;
  // Row of the image as B,G,R bytes, indexed formats looked up in palette (black beyond it).
  void RowToBgr(int row, const std::vector<PALETTEENTRY>& palette, std::uint8_t* bgr) const;

  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = pf24bit;
  bool topDown_ = false;
  PixelBlock pixels_;
  // Raises EInvalidGraphicOperation while a fill scope is held.
  void RefuseWhileFilled() const;
  // The bodies of SetPixelFormat and SetSizeUncleared, for the bitmap and its fill scope.
  void ConvertPixelFormat(TPixelFormat format);
  void ReplaceUncleared(int width, int height);

  // Rows ScanLine hands out for writing without further checks: height_ once this bitmap owns its
  // pixel memory alone and has handed out an address into it, 0 until then.
  int writableRows_ = 0;
  OwnedPalette palette_;
  std::atomic<int> fillScopes_{0};
  std::int32_t xPelsPerMeter_ = 0;
  std::int32_t yPelsPerMeter_ = 0;
  friend struct BitmapAccess;
};
