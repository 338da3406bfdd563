#include "framework/graphics/canvas.h"

#include <algorithm>

#include "framework/graphics/graphic.h"
#include "framework/graphics/text_backend.h"

namespace {

TTextBackend*& TextBackendSlot() {
  static TTextBackend* backend = nullptr;
  return backend;
}

}  // namespace

void SetTextBackend(TTextBackend* backend) { TextBackendSlot() = backend; }
TTextBackend* TextBackend() { return TextBackendSlot(); }

TCanvas::TCanvas(TSurface surface) : TCanvas(surface, TextBackend()) {}

void TCanvas::FillRect(const TRect& rect, TColor color) {
  const int x0 = std::max(rect.Left, 0);
  const int x1 = std::min(rect.Right, surface_.width);
  const int y0 = std::max(rect.Top, 0);
  const int y1 = std::min(rect.Bottom, surface_.height);
  if (surface_.pixels == nullptr || x0 >= x1 || y0 >= y1) return;
  // TColor is 0x00BBGGRR; the surface holds 0x00RRGGBB.
  const std::uint32_t pixel = std::uint32_t{GetRValue(color)} << 16 |
                              std::uint32_t{GetGValue(color)} << 8 | GetBValue(color);
  for (int y = y0; y < y1; ++y) {
    std::uint32_t* row = surface_.pixels + static_cast<std::ptrdiff_t>(y) * surface_.pitchPixels;
    std::fill(row + x0, row + x1, pixel);
  }
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic) {
  if (graphic != nullptr) graphic->Draw(*this, rect);
}

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
  if (text_ != nullptr) text_->Draw(surface_, x, y, Font, text);
}

int TCanvas::TextWidth(const AnsiString& text) {
  return text_ != nullptr ? text_->Measure(Font, text).X : 0;
}

int TCanvas::TextHeight(const AnsiString& text) {
  return text_ != nullptr ? text_->Measure(Font, text).Y : 0;
}
