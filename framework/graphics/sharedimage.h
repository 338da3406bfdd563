#pragma once
// A reference-counted record that several graphics share (their compressed bytes, say).
// A new record has a count of zero; Reference adds one, Release takes one away and destroys
// the record when the count reaches zero.
#include "framework/classes/object.h"

class TSharedImage : public TObject {
 public:
  const char* ClassName() const override { return "TSharedImage"; }
  void Reference() { ++refCount_; }
  void Release();
  int RefCount() const { return refCount_; }

 protected:
  // Frees the system handles the record holds, before it is destroyed.
  virtual void ReleaseHandles() = 0;

 private:
  int refCount_ = 0;
};
