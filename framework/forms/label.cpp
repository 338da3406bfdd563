#include "framework/forms/label.h"

#include "framework/forms/form.h"
#include "framework/forms/surface_clip.h"

TLabel::TLabel(TComponent* owner) : TControl(owner) {
  Width = 65;
  Height = 17;
}

const TFont& TLabel::EffectiveFont() const {
  if (ParentFont) {
    if (const auto* form = dynamic_cast<const TCustomForm*>(Parent())) return form->Font;
  }
  return Font;
}

void TLabel::SetText(const AnsiString& text) {
  TControl::SetText(text);
  AdjustBounds();
}

void TLabel::AdjustBounds() {
  if (!AutoSize) return;
  TCanvas measure{TSurface{}};
  measure.Font = EffectiveFont();
  Width = GetText().empty() ? 0 : measure.TextWidth(GetText());
  Height = measure.TextHeight(GetText().empty() ? AnsiString(" ") : GetText());
}

void TLabel::Paint(TCanvas& canvas) {
  AdjustBounds();
  if (GetText().empty()) return;
  const TClippedSurface clipped = ClipSurface(canvas.Surface(), BoundsRect());
  if (clipped.surface.pixels == nullptr) return;
  TCanvas view(clipped.surface);
  if (!Transparent) {
    const auto* form = dynamic_cast<const TCustomForm*>(Parent());
    view.FillRect({0, 0, clipped.surface.width, clipped.surface.height},
                  ParentColor && form != nullptr ? form->Color : Color);
  }
  view.Font = EffectiveFont();
  int x = clipped.origin.X;
  if (Alignment != taLeftJustify) {
    const int spare = Width - view.TextWidth(GetText());
    x += Alignment == taCenter ? spare / 2 : spare;
  }
  view.TextOut(x, clipped.origin.Y, GetText());
}
