#pragma once
// Components own the components created with them as owner: an owner destroys its components,
// newest first, when it is destroyed. A component destroyed earlier leaves its owner's list.
#include <vector>

#include "framework/classes/persistent.h"
#include "framework/system/ansistring.h"

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  const char* ClassName() const override { return "TComponent"; }

  AnsiString Name;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // The owned component at index (creation order); nullptr outside the range.
  TComponent* Components(int index) const;
  // The owned component with that name (names compare case-insensitively); nullptr if none.
  TComponent* FindComponent(const AnsiString& name) const;
  // Destroys every owned component, newest first.
  void DestroyComponents();

 protected:
  // Called on the owner when one of its components leaves it (destroyed or re-owned).
  virtual void ComponentRemoved(TComponent* component);

 private:
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
};
