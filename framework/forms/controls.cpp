#include "framework/forms/controls.h"

#include <algorithm>

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
  for (TControl* child : controls_) child->parent_ = nullptr;
  SetParent(nullptr);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  Left = left;
  Top = top;
  Width = width;
  Height = height;
  Invalidate();
}

void TControl::SetText(const AnsiString& text) {
  text_ = text;
  Invalidate();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::Paint(TCanvas&) {}

void TControl::Invalidate() { RepaintRequested(); }

void TControl::RepaintRequested() {
  if (parent_ != nullptr) parent_->RepaintRequested();
}

void TControl::SetParent(TControl* parent) {
  if (parent_ != nullptr) {
    auto& siblings = parent_->controls_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    parent_->RepaintRequested();
  }
  parent_ = parent;
  if (parent_ != nullptr) {
    parent_->controls_.push_back(this);
    parent_->RepaintRequested();
  }
}

TControl* TControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) return nullptr;
  return controls_[static_cast<std::size_t>(index)];
}
