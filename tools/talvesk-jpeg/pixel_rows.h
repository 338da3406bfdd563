#pragma once
// The bitmap side of the file formats the tool reads and writes besides BMP: a bitmap's rows, top
// to bottom, as R,G,B bytes per pixel or one gray byte per pixel, and back.
#include <array>
#include <cstdint>
#include <memory>

#include "framework/graphics/bitmap.h"

class PixelRows {
 public:
  // Reads an 8-bit (through its palette) or 24-bit bitmap; other depths are converted first.
  explicit PixelRows(TBitmap& bitmap);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Whether every pixel is a shade of gray: every palette entry of an 8-bit bitmap, every pixel
  // of a 24-bit one (looked at once, on the first call).
  bool Gray();
  // Writes row y as Width() gray bytes (only for a Gray() bitmap) or Width() x R,G,B.
  void Row(int y, bool gray, std::uint8_t* out) const;

 private:
  TBitmap* bitmap_;
  std::unique_ptr<TBitmap> converted_;  // a 24-bit copy, for depths read no other way
  int width_;
  int height_;
  std::array<std::uint8_t, 3 * 256> palette_{};  // R,G,B of each index; black beyond the palette
  int gray_ = -1;                                // unknown until asked
};

// Makes bitmap a 24-bit picture of width x height (EOutOfResources past the bitmap limit).
void StartBitmap(TBitmap& bitmap, int width, int height);
// Stores row y of such a bitmap from width x R,G,B bytes, or width gray bytes.
void StoreRow(TBitmap& bitmap, int y, const std::uint8_t* pixels, bool gray);
