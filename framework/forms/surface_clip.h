#pragma once
// A view of the part of a surface that a rectangle covers, so that a control cannot draw
// outside its bounds.
#include "framework/graphics/canvas.h"

struct TClippedSurface {
  TSurface surface;  // empty (0 x 0) when the rectangle lies outside
  TPoint origin;     // where the rectangle's top-left corner lies in the view's coordinates
};

inline TClippedSurface ClipSurface(const TSurface& whole, const TRect& rect) {
  TClippedSurface clipped;
  const int left = rect.Left < 0 ? 0 : rect.Left;
  const int top = rect.Top < 0 ? 0 : rect.Top;
  const int right = rect.Right > whole.width ? whole.width : rect.Right;
  const int bottom = rect.Bottom > whole.height ? whole.height : rect.Bottom;
  clipped.origin = {rect.Left - left, rect.Top - top};
  if (whole.pixels == nullptr || right <= left || bottom <= top) return clipped;
  clipped.surface.pixels =
      whole.pixels + static_cast<std::ptrdiff_t>(top) * whole.pitchPixels + left;
  clipped.surface.width = right - left;
  clipped.surface.height = bottom - top;
  clipped.surface.pitchPixels = whole.pitchPixels;
  return clipped;
}
