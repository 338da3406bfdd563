#pragma once
// Forms: top-level windows. A TForm is built from the layout resource registered for its class
// name; a derived form's constructor then takes its controls with Child<T>() and binds the
// layout's event handler names with BindHandler().
//
// Size: Width and Height are the window's outer size, as the layout stores it. The client area
// (the frame buffer we paint) is the outer size minus a fixed frame of kFrameWidth x
// kFrameHeight pixels (4 on each side, a 26-pixel title bar plus 4 below), so the layout's
// 353 x 365 gives a 345 x 331 client area.
#include <map>
#include <stdexcept>
#include <vector>

#include "framework/forms/controls.h"
#include "framework/system/exceptions.h"

enum TPosition { poDesigned, poDesktopCenter };

class TCustomForm : public TControl {
 public:
  static constexpr int kFrameWidth = 8;
  static constexpr int kFrameHeight = 34;

  explicit TCustomForm(TComponent* owner);
  const char* ClassName() const override { return "TCustomForm"; }

  AnsiString Caption;
  TColor Color = clBtnFace;
  TFont Font;
  TPosition Position = poDesigned;
  TNotifyEvent OnShow;

  // The caption (the window title).
  void SetText(const AnsiString& text) override;

  int ClientWidth() const;
  int ClientHeight() const;
  // Sets the outer size so that the client area has this size.
  void SetClientSize(int width, int height);

  // Makes the form visible; OnShow runs each time the form turns from hidden to visible.
  virtual void Show();
  // Hides the form. Closing the application's main form ends the application.
  void Close();

  // Fills the client area with Color, then paints the visible child controls in creation order.
  void Paint(TCanvas& canvas) override;
  // Paints the whole client area into the surface and clears the repaint request.
  void PaintTo(TSurface surface);
  bool NeedsRepaint() const { return needsRepaint_; }

  // The topmost visible child control under the client point that has an OnClick handler.
  TControl* ClickTargetAt(int x, int y) const;

 protected:
  void RepaintRequested() override { needsRepaint_ = true; }

 private:
  bool needsRepaint_ = true;
};

// Raised when a layout names a component or handler that the form's code does not have (or
// the other way round).
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

class TForm : public TCustomForm {
 public:
  // Builds the form and its controls from the layout registered under layoutClassName
  // (see layout.h). Raises ELayoutError when the layout is missing or does not fit.
  TForm(TComponent* owner, const AnsiString& layoutClassName);
  const char* ClassName() const override { return className_.c_str(); }

  // The control that the layout created under this name; EComponentError if there is none or it
  // is of another class.
  template <class T>
  T* Child(const AnsiString& name) {
    TComponent* component = FindComponent(name);
    if (component == nullptr) ThrowMissingChild(name);
    T* typed = dynamic_cast<T*>(component);
    if (typed == nullptr) ThrowWrongChildClass(name, component);
    return typed;
  }

  // Assigns handler to every event that the layout bound to methodName. EComponentError when
  // the layout binds nothing to that name.
  void BindHandler(const AnsiString& methodName, TNotifyEvent handler);
  // EComponentError naming every handler the layout uses that was not bound.
  void CheckHandlersBound() const;

 private:
  [[noreturn]] void ThrowMissingChild(const AnsiString& name) const;
  [[noreturn]] void ThrowWrongChildClass(const AnsiString& name, TComponent* found) const;

  AnsiString className_;
  struct HandlerSlots {
    std::vector<TNotifyEvent*> events;
    bool bound = false;
  };
  std::map<AnsiString, HandlerSlots> handlers_;
  friend class TLayoutLoader;
};
