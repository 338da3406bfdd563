#include "framework/forms/form.h"

#include <algorithm>
#include <exception>

#include "framework/forms/application.h"

TCustomForm::TCustomForm(TComponent* owner) : TControl(owner) {
  Visible = false;
  Width = 320;
  Height = 240;
}

void TCustomForm::SetText(const AnsiString& text) {
  Caption = text;
  TControl::SetText(text);
}

int TCustomForm::ClientWidth() const { return std::max(0, Width - kFrameWidth); }
int TCustomForm::ClientHeight() const { return std::max(0, Height - kFrameHeight); }

void TCustomForm::SetClientSize(int width, int height) {
  Width = std::max(0, width) + kFrameWidth;
  Height = std::max(0, height) + kFrameHeight;
  Invalidate();
}

void TCustomForm::Show() {
  if (Visible) return;
  Visible = true;
  Invalidate();
  if (OnShow) OnShow(this);
}

void TCustomForm::Close() {
  Visible = false;
  if (Application != nullptr && Application->MainForm() == this) Application->Terminate();
}

void TCustomForm::Paint(TCanvas& canvas) {
  canvas.FillRect({0, 0, ClientWidth(), ClientHeight()}, Color);
  // One control that cannot paint must not keep the others from painting; the first failure
  // is passed on afterwards.
  std::exception_ptr firstFailure;
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* control = Controls(i);
    if (!control->Visible) continue;
    try {
      control->Paint(canvas);
    } catch (...) {
      if (!firstFailure) firstFailure = std::current_exception();
    }
  }
  if (firstFailure) std::rethrow_exception(firstFailure);
}

void TCustomForm::PaintTo(TSurface surface) {
  needsRepaint_ = false;
  TCanvas canvas(surface);
  canvas.Font = Font;
  Paint(canvas);
}

TControl* TCustomForm::ClickTargetAt(int x, int y) const {
  for (int i = ControlCount() - 1; i >= 0; --i) {
    TControl* control = Controls(i);
    if (!control->Visible || !control->OnClick) continue;
    if (x >= control->Left && x < control->Left + control->Width && y >= control->Top &&
        y < control->Top + control->Height)
      return control;
  }
  return nullptr;
}

void TForm::BindHandler(const AnsiString& methodName, TNotifyEvent handler) {
  const auto found = handlers_.find(methodName);
  if (found == handlers_.end()) {
    throw EComponentError("Form " + className_ + ": the layout binds no event to " + methodName);
  }
  for (TNotifyEvent* event : found->second.events) *event = handler;
  found->second.bound = true;
}

void TForm::CheckHandlersBound() const {
  AnsiString missing;
  for (const auto& [name, slots] : handlers_) {
    if (slots.bound) continue;
    missing += missing.empty() ? name : ", " + name;
  }
  if (!missing.empty()) {
    throw EComponentError("Form " + className_ + ": handler not bound: " + missing);
  }
}

void TForm::ThrowMissingChild(const AnsiString& name) const {
  throw EComponentError("Form " + className_ + ": the layout has no component " + name);
}

void TForm::ThrowWrongChildClass(const AnsiString& name, TComponent* found) const {
  throw EComponentError("Form " + className_ + ": component " + name + " is a " +
                        found->ClassName() + ", not of the class the form expects");
}
