#pragma once
// Pixel access for tests, written against the documented DIB layout.
#include "framework/graphics/bitmap.h"
#include "tests/support/gray_palette.h"

inline void SetPixel(TBitmap& bitmap, int x, int y, TColor colour) {
  const int bytes = bitmap.GetPixelFormat() == pf32bit ? 4 : 3;
  std::uint8_t* pixel = bitmap.ScanLine(y) + x * bytes;
  pixel[0] = GetBValue(colour);
  pixel[1] = GetGValue(colour);
  pixel[2] = GetRValue(colour);
}
