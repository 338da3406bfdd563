#include "framework/forms/image.h"

#include "framework/forms/surface_clip.h"

TImage::TImage(TComponent* owner) : TControl(owner), picture_(std::make_unique<TPicture>()) {
  Width = 105;
  Height = 105;
  picture_->OnChange = [this](TObject*) {
    drawFailed_ = false;
    Invalidate();
  };
}

TImage::~TImage() = default;

void TImage::Paint(TCanvas& canvas) {
  TGraphic* graphic = picture_->Graphic();
  if (graphic == nullptr || drawFailed_ || graphic->Empty()) return;
  const TClippedSurface clipped = ClipSurface(canvas.Surface(), BoundsRect());
  if (clipped.surface.pixels == nullptr) return;
  TCanvas view(clipped.surface);
  const TPoint at = clipped.origin;
  const TRect target =
      Stretch ? TRect{at.X, at.Y, at.X + Width, at.Y + Height}
              : TRect{at.X, at.Y, at.X + graphic->GetWidth(), at.Y + graphic->GetHeight()};
  try {
    view.StretchDraw(target, graphic);
  } catch (...) {
    // A picture that cannot be drawn (damaged image data, say) is reported once, not on every
    // repaint; a new picture clears this.
    drawFailed_ = true;
    throw;
  }
}
