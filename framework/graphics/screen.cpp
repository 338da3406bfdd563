#include "framework/graphics/screen.h"

namespace {

// The one device context there is; any non-zero value would do.
constexpr HDC kScreenDC = 0x5C;

int realDepth = 32;
int emulatedDepth = 0;

}  // namespace

HDC GetDC(HWND window) { return window == 0 ? kScreenDC : 0; }

int ReleaseDC(HWND, HDC dc) { return dc == kScreenDC ? 1 : 0; }

int GetDeviceCaps(HDC dc, int index) {
  if (dc != kScreenDC) return 0;
  switch (index) {
    case BITSPIXEL:
      return emulatedDepth != 0 ? emulatedDepth : realDepth;
    case PLANES:
      return 1;
    default:
      return 0;
  }
}

void SetScreenDepth(int bitsPerPixel) {
  if (bitsPerPixel > 0) realDepth = bitsPerPixel;
}

void SetEmulatedScreenDepth(int bitsPerPixel) {
  emulatedDepth = bitsPerPixel > 0 ? bitsPerPixel : 0;
}
