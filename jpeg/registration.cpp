// The unit's registration with the picture registry for the "jpeg" and "jpg" extensions, done
// when the program starts (after fitting the defaults to the screen) and undone when it ends.
#include "framework/graphics/picture.h"
#include "framework/system/resstrings.h"
#include "jpeg/jpeg.h"

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
