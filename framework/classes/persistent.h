#pragma once
// Persistent objects copy themselves by double dispatch: Assign asks the source to AssignTo
// the destination when the destination does not know the source's class itself.
#include "framework/classes/object.h"

class TPersistent : public TObject {
 public:
  const char* ClassName() const override { return "TPersistent"; }
  // Copies source into this object. The default hands over to source->AssignTo(this);
  // an assignment that nobody handles raises EConvertError.
  virtual void Assign(TPersistent* source);

 protected:
  // Copies this object into dest; the default raises EConvertError.
  virtual void AssignTo(TPersistent* dest);
};

// Objects that expose interfaces; nothing of COM is needed here.
class TInterfacedPersistent : public TPersistent {
 public:
  const char* ClassName() const override { return "TInterfacedPersistent"; }
};
