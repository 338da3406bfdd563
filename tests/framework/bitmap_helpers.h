#pragma once
// Pixel access for tests, written against the documented DIB layout.
#include "framework/graphics/bitmap.h"

inline HPALETTE GrayPalette(int count) {
  LOGPALETTE log;
  log.palNumEntries = static_cast<std::uint16_t>(count);
  for (int i = 0; i < count; ++i) {
    const auto level = static_cast<std::uint8_t>(i);
    log.palPalEntry[i] = {level, level, level, 0};
  }
  return CreatePalette(&log);
}

// Colour of a 24- or 32-bit pixel as a TColor.
inline TColor PixelAt(TBitmap& bitmap, int x, int y) {
  const int bytes = bitmap.GetPixelFormat() == pf32bit ? 4 : 3;
  const std::uint8_t* pixel = bitmap.ScanLine(y) + x * bytes;
  return RGB(pixel[2], pixel[1], pixel[0]);
}

inline void SetPixel(TBitmap& bitmap, int x, int y, TColor colour) {
  const int bytes = bitmap.GetPixelFormat() == pf32bit ? 4 : 3;
  std::uint8_t* pixel = bitmap.ScanLine(y) + x * bytes;
  pixel[0] = GetBValue(colour);
  pixel[1] = GetGValue(colour);
  pixel[2] = GetRValue(colour);
}
