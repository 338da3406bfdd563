#include "framework/forms/component.h"

#include <strings.h>

#include <algorithm>

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_ != nullptr) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_ != nullptr) {
    auto& siblings = owner_->components_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    owner_->ComponentRemoved(this);
  }
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) return nullptr;
  return components_[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(const AnsiString& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* component : components_) {
    if (strcasecmp(component->Name.c_str(), name.c_str()) == 0) return component;
  }
  return nullptr;
}

void TComponent::DestroyComponents() {
  // Each destructor takes the component out of our list.
  while (!components_.empty()) delete components_.back();
}

void TComponent::ComponentRemoved(TComponent*) {}
