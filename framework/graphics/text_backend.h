#pragma once
// What a canvas needs of a font engine: measuring and drawing a line of text. The core has no
// font machinery of its own; the program (or a test) chooses the engine, as it chooses the
// window backend.
#include "framework/graphics/canvas.h"

class TTextBackend {
 public:
  virtual ~TTextBackend() = default;
  // Width and height of the text's line; {0, 0} when the font cannot be used.
  virtual TPoint Measure(const TFont& font, const AnsiString& text) = 0;
  // Draws the text with the top-left corner of its line at (x, y), clipped to the surface.
  virtual void Draw(const TSurface& surface, int x, int y, const TFont& font,
                    const AnsiString& text) = 0;
};

// The engine that new canvases use; not owned, and it must outlive them. Without one, canvases
// measure text as empty and draw none.
void SetTextBackend(TTextBackend* backend);
TTextBackend* TextBackend();
