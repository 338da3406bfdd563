#pragma once
// A picture on the form: stretched into the control's bounds, or at its natural size at the
// control's top-left corner (clipped to the bounds). A change of the picture repaints it.
#include <memory>

#include "framework/forms/controls.h"
#include "framework/graphics/picture.h"

class TImage : public TControl {
 public:
  explicit TImage(TComponent* owner);
  ~TImage() override;
  const char* ClassName() const override { return "TImage"; }

  TPicture* Picture() const { return picture_.get(); }
  bool Stretch = false;

  void Paint(TCanvas& canvas) override;

 private:
  std::unique_ptr<TPicture> picture_;
  bool drawFailed_ = false;
};
