#pragma once
// A line of text in its font's colour. Unless Transparent, the label first fills its box with its
// colour (the parent form's while ParentColor), so a later label covers whatever an earlier one
// drew into its box. With AutoSize (the default) the label keeps its left and top edges and takes
// the width and height of its text; an empty text is 0 pixels wide and one line high.
#include "framework/forms/controls.h"

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  const char* ClassName() const override { return "TLabel"; }

  TAlignment Alignment = taLeftJustify;
  bool AutoSize = true;
  TFont Font;
  // Draw with the parent form's font instead of Font.
  bool ParentFont = true;
  TColor Color = clBtnFace;
  // Fill with the parent form's colour instead of Color.
  bool ParentColor = true;
  bool Transparent = false;

  void SetText(const AnsiString& text) override;
  void Paint(TCanvas& canvas) override;
  // Applies AutoSize now (it is applied on every text change and before painting).
  void AdjustBounds();
  // The font the label draws with (its own or its parent form's).
  const TFont& EffectiveFont() const;
};
