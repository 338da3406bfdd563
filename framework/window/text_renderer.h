#pragma once
// Text through FreeType from the caption font built into the program (DejaVu Sans), shared by
// every canvas, so captions look the same on every machine whatever fonts it has installed. Every
// font name draws with that face. Sizes are opened once each. Should FreeType fail, a single
// warning goes to stderr and text is neither measured nor drawn.
#include <map>

#include "framework/graphics/text_backend.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

class TTextRenderer : public TTextBackend {
 public:
  static TTextRenderer& Instance();

  // Width and height of the text's line; {0, 0} without a usable font.
  TPoint Measure(const TFont& font, const AnsiString& text) override;
  // Draws the text with the top-left corner of its line at (x, y), blended in the font's colour,
  // clipped to the line and to the surface.
  void Draw(const TSurface& surface, int x, int y, const TFont& font,
            const AnsiString& text) override;

  // Point size for a font height: a negative height is the em in pixels at 96 pixels per inch.
  static int PointSize(int height);

  TTextRenderer(const TTextRenderer&) = delete;
  TTextRenderer& operator=(const TTextRenderer&) = delete;

 private:
  TTextRenderer() = default;
  ~TTextRenderer() override;
  FT_FaceRec_* FaceFor(const TFont& font);

  FT_LibraryRec_* library_ = nullptr;
  bool failed_ = false;
  std::map<int, FT_FaceRec_*> faces_;
};
