// The process-wide defaults every new picture copies, and their fit to the screen: a screen of 8
// bits per pixel or fewer shows pictures through a palette.
#include "framework/graphics/screen.h"
#include "jpeg/codec.h"

TJPEGDefaults JpegDefaultOptions;

bool ScreenIsPaletted() {
  const HDC screen = GetDC(0);
  const int bitsPerPixel = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
  ReleaseDC(0, screen);
  return bitsPerPixel <= 8;
}

void AdjustDefaultsToScreen() {
  JpegDefaultOptions.BitmapDepth = ScreenIsPaletted() ? bd8Bit : bd24Bit;
}
