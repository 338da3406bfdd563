#pragma once
// Text through fontconfig (font name -> file) and SDL2_ttf (glyphs), shared by every canvas.
// Fonts are opened once per name and size. When no font can be opened a single warning goes to
// stderr and text is neither measured nor drawn.
#include <map>
#include <utility>

#include "framework/graphics/text_backend.h"

struct _TTF_Font;

class TTextRenderer : public TTextBackend {
 public:
  static TTextRenderer& Instance();

  // Width and height of the text's line; {0, 0} without a usable font.
  TPoint Measure(const TFont& font, const AnsiString& text) override;
  // Draws the text with the top-left corner of its line at (x, y), blended in the font's colour,
  // clipped to the surface.
  void Draw(const TSurface& surface, int x, int y, const TFont& font,
            const AnsiString& text) override;

  // Point size for a font height: a negative height is the em in pixels at 96 pixels per inch.
  static int PointSize(int height);

  TTextRenderer(const TTextRenderer&) = delete;
  TTextRenderer& operator=(const TTextRenderer&) = delete;

 private:
  TTextRenderer() = default;
  ~TTextRenderer() override;
  _TTF_Font* FontFor(const TFont& font);
  AnsiString FindFontFile(const AnsiString& name);

  bool ttfStarted_ = false;
  bool fontconfigUsed_ = false;
  bool warned_ = false;
  std::map<AnsiString, AnsiString> files_;
  std::map<std::pair<AnsiString, int>, _TTF_Font*> fonts_;
};
