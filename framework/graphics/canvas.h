#pragma once
// Drawing onto a 32-bit frame buffer (pixels 0x00RRGGBB, as SDL's XRGB8888 surfaces hold them).
#include <cstdint>

#include "framework/graphics/types.h"
#include "framework/system/ansistring.h"

class TGraphic;
class TTextBackend;

struct TSurface {
  std::uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitchPixels = 0;  // distance between rows, in pixels
};

struct TFont {
  AnsiString Name = "MS Sans Serif";
  int Height = -11;  // negative: em height in pixels
  TColor Color = clWindowText;
};

class TCanvas {
 public:
  // Text goes through the process's text backend (see text_backend.h) unless one is given.
  explicit TCanvas(TSurface surface);
  TCanvas(TSurface surface, TTextBackend* text) : surface_(surface), text_(text) {}
  const TSurface& Surface() const { return surface_; }

  TFont Font;

  // Fills rect (clipped to the surface).
  void FillRect(const TRect& rect, TColor color);
  // Draws the graphic stretched into rect (aspect ratio not kept); area-averaging when shrinking.
  void StretchDraw(const TRect& rect, TGraphic* graphic);

  // Text in Font, by the canvas's text backend; nothing is measured or drawn without one.
  void TextOut(int x, int y, const AnsiString& text);
  int TextWidth(const AnsiString& text);
  int TextHeight(const AnsiString& text);

 private:
  TSurface surface_;
  TTextBackend* text_ = nullptr;
};
