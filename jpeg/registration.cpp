// The unit's process-wide defaults, and its registration with the picture registry for the
// "jpeg" and "jpg" extensions, done when the program starts and undone when it ends.
#include "framework/graphics/picture.h"
#include "framework/graphics/screen.h"
#include "framework/system/resstrings.h"
#include "jpeg/jpeg.h"

TJPEGDefaults JpegDefaultOptions;

void AdjustDefaultsToScreen() {
  const HDC screen = GetDC(0);
  const int bitsPerPixel = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
  JpegDefaultOptions.BitmapDepth = bitsPerPixel <= 8 ? bd8Bit : bd24Bit;
  ReleaseDC(0, screen);
}

namespace {

// Start and end requests share one counter: the first start registers, the end that brings the
// counter back to zero unregisters.
int unitStartCount = 0;

void StartUnit() {
  if (unitStartCount++ != 0) return;
  AdjustDefaultsToScreen();
  TPicture::RegisterFileFormat("jpeg", LoadResString(SJPEGImageFile), TJPEGImage::Class());
  TPicture::RegisterFileFormat("jpg", LoadResString(SJPEGImageFile), TJPEGImage::Class());
}

void EndUnit() {
  if (--unitStartCount != 0) return;
  TPicture::UnregisterGraphicClass(TJPEGImage::Class());
}

struct UnitLifetime {
  UnitLifetime() { StartUnit(); }
  ~UnitLifetime() { EndUnit(); }
  UnitLifetime(const UnitLifetime&) = delete;
  UnitLifetime& operator=(const UnitLifetime&) = delete;
};

const UnitLifetime unitLifetime;

}  // namespace
