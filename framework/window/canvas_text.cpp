// TCanvas's text operations, drawn by the window layer's text renderer.
#include "framework/graphics/canvas.h"
#include "framework/window/text_renderer.h"

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
  TTextRenderer::Instance().Draw(surface_, x, y, Font, text);
}

int TCanvas::TextWidth(const AnsiString& text) {
  return TTextRenderer::Instance().Measure(Font, text).X;
}

int TCanvas::TextHeight(const AnsiString& text) {
  return TTextRenderer::Instance().Measure(Font, text).Y;
}
