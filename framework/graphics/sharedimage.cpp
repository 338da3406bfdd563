#include "framework/graphics/sharedimage.h"

void TSharedImage::Release() {
  if (--refCount_ > 0) return;
  ReleaseHandles();
  delete this;
}
