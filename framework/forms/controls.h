#pragma once
// Visual controls: bounds in their parent's client coordinates, visibility, a text (the caption),
// a click event and painting. A control with a parent is painted by it, in creation order.
#include <vector>

#include "framework/forms/component.h"
#include "framework/graphics/canvas.h"
#include "framework/graphics/graphic.h"
#include "framework/graphics/types.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// The face colour of windows and controls that set none of their own.
constexpr TColor clBtnFace = 0xF0F0F0;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  const char* ClassName() const override { return "TControl"; }

  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool Visible = true;

  void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return {Left, Top, Left + Width, Top + Height}; }

  // The caption. Setting it repaints the control.
  virtual void SetText(const AnsiString& text);
  const AnsiString& GetText() const { return text_; }

  TNotifyEvent OnClick;
  // Runs OnClick (if any) with this control as sender.
  virtual void Click();

  // Draws the control onto the canvas, at its bounds.
  virtual void Paint(TCanvas& canvas);
  // Asks for a repaint; the request travels up to the top-level form.
  void Invalidate();

  // The control that paints this one; setting it moves the control to the end of the new
  // parent's paint order.
  TControl* Parent() const { return parent_; }
  void SetParent(TControl* parent);
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;

 protected:
  // A top-level control records the repaint request here; others pass it to their parent.
  virtual void RepaintRequested();

 private:
  AnsiString text_;
  TControl* parent_ = nullptr;
  std::vector<TControl*> controls_;
};
