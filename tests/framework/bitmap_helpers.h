#pragma once
// Pixel access for tests, written against the documented DIB layout.
#include "framework/graphics/bitmap.h"

// A palette of count grays 0, 1, 2, ... (0 when CreatePalette refuses the count).
inline HPALETTE GrayPalette(int count) {
  LOGPALETTE log;
  log.palNumEntries = static_cast<std::uint16_t>(count);
  for (int i = 0; i < count && i < 256; ++i) {
    const auto level = static_cast<std::uint8_t>(i);
    log.palPalEntry[i] = {level, level, level, 0};
  }
  return CreatePalette(&log);
}

inline void SetPixel(TBitmap& bitmap, int x, int y, TColor colour) {
  const int bytes = bitmap.GetPixelFormat() == pf32bit ? 4 : 3;
  std::uint8_t* pixel = bitmap.ScanLine(y) + x * bytes;
  pixel[0] = GetBValue(colour);
  pixel[1] = GetGValue(colour);
  pixel[2] = GetRValue(colour);
}
